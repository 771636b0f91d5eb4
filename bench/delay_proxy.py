"""A delaying TCP proxy for the publish benchmark: a slow network on loopback.

Listens on --listen-host at --ports (control port and the server's passive
data ports alike) and forwards each connection to the same port on
--to-host. Every chunk, in either direction and on every connection, is
delivered --delay-ms / 2 after it arrived (so --delay-ms is the round trip),
and with --rate-bps the chunks of each direction share one link of that
speed. A client that is told a passive port by EPSV connects to the proxy's
address, so data connections are slowed too. Runs until killed.
"""
import argparse
import asyncio
import time


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--listen-host", required=True)
    parser.add_argument("--to-host", required=True)
    parser.add_argument("--ports", required=True, help="FIRST-LAST or one port")
    parser.add_argument("--delay-ms", type=float, default=50)
    parser.add_argument("--rate-bps", type=float, default=0)
    args = parser.parse_args()
    one_way = args.delay_ms / 2000.0
    link_free = {"up": 0.0, "down": 0.0}  # when each direction's link is free

    async def pump(reader, writer, direction):
        queue = asyncio.Queue()

        async def deliver():
            while True:
                due, data = await queue.get()
                if data is None:
                    break
                wait = due - time.monotonic()
                if wait > 0:
                    await asyncio.sleep(wait)
                writer.write(data)
                await writer.drain()
            writer.close()

        sender = asyncio.ensure_future(deliver())
        try:
            while True:
                data = await reader.read(16384)
                if not data:
                    break
                now = time.monotonic()
                due = now + one_way
                if args.rate_bps:
                    start = max(now, link_free[direction])
                    link_free[direction] = start + len(data) * 8 / args.rate_bps
                    due = link_free[direction] + one_way
                await queue.put((due, data))
        except (ConnectionError, OSError):
            pass
        await queue.put((0, None))
        await sender

    async def serve(port, client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection(args.to_host, port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pump(client_reader, server_writer, "up"),
                             pump(server_reader, client_writer, "down"),
                             return_exceptions=True)

    first, _, last = args.ports.partition("-")
    ports = range(int(first), int(last or first) + 1)
    servers = []
    for port in ports:
        servers.append(await asyncio.start_server(
            lambda r, w, p=port: serve(p, r, w), args.listen_host, port))
    print("ready", flush=True)
    await asyncio.gather(*(s.serve_forever() for s in servers))


if __name__ == "__main__":
    asyncio.run(main())
