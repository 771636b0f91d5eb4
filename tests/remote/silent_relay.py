"""A TCP relay for the remote tests that goes silent.

Listens on 127.0.0.1 (writes its port to --port-file), forwards every connection
to --to-port, and once --after bytes have gone from the client to the server
on a connection it stops forwarding both ways, keeping both sockets open: the
client sees a connection that neither breaks nor moves (a silent network).
"""
import argparse
import os
import socket
import threading


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--to-port", type=int, required=True)
    parser.add_argument("--after", type=int, required=True)
    parser.add_argument("--port-file", required=True)
    args = parser.parse_args()
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    with open(args.port_file + ".new", "w") as f:
        f.write(str(listener.getsockname()[1]))
    os.rename(args.port_file + ".new", args.port_file)

    def serve(client):
        server = socket.create_connection(("127.0.0.1", args.to_port))
        state = {"sent": 0, "silent": threading.Event()}

        def pump(source, sink, counted):
            while not state["silent"].is_set():
                data = source.recv(65536)
                if not data:
                    break
                if counted:
                    room = args.after - state["sent"]
                    if room <= len(data):
                        sink.sendall(data[:max(room, 0)])
                        state["silent"].set()
                        break
                    state["sent"] += len(data)
                if state["silent"].is_set():
                    break
                sink.sendall(data)
            state["silent"].wait()

        threading.Thread(target=pump, args=(client, server, True), daemon=True).start()
        threading.Thread(target=pump, args=(server, client, False), daemon=True).start()

    while True:
        client, _ = listener.accept()
        serve(client)


if __name__ == "__main__":
    main()
