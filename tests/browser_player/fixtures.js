'use strict';
// Builds what a processed site holds: the page with its applet block, the
// encoded resource file and mu-law .au sounds with known samples. Written
// apart from the player so that both sides do not share a mistake.

const CRLF = '\r\n';

// Resource file bytes: the text's length as a little-endian u32, then every
// text byte doubled modulo 256.
function encodeResource(text) {
  const body = Buffer.from(text, 'latin1');
  const out = Buffer.alloc(4 + body.length);
  out.writeUInt32LE(body.length, 0);
  for (let i = 0; i < body.length; ++i) out[4 + i] = (body[i] * 2) % 256;
  return out;
}

// The resource text for the given sounds (arrays of names, one per
// combination, as the file carries them: percent-encoded from version 2 on)
// and switches, fields in the order the player reads them.
function resourceText({
  pageUrl = '', entrance, exit, background, noBackground = false,
  visible = true, entranceOn = true, exitOn = true, backgroundOn = true,
  safetyKey = false, colour = '255,255,255', version = '2',
}) {
  const yn = (b) => (b ? 'Y' : 'N');
  const list = (names) => names.map((n) => (n ? `audio/${n}` : ' ')).join(',');
  const fields = [
    pageUrl || ' ',
    list(entrance),
    list(exit),
    noBackground ? entrance.map(() => ' ').join(',') : list(background),
    entrance.map(() => '998').join(','),
    ' ',
    colour,
    yn(noBackground), yn(visible), yn(entranceOn), yn(exitOn), yn(backgroundOn), yn(safetyKey),
    entrance.map(() => '1000').join(','),
    noBackground ? ' ' : entrance.map(() => '2000').join(','),
    version || ' ',
  ];
  return fields.map((f) => `${f};`).join('');
}

// G.711 mu-law expansion in its table form (segment bases), as 16-bit values.
const SEGMENT_BASE = [0, 132, 396, 924, 1980, 4092, 8316, 16764];
function muLawToLinear(code) {
  const u = ~code & 0xff;
  const segment = (u >> 4) & 7;
  const magnitude = SEGMENT_BASE[segment] + ((u & 0x0f) << (segment + 3));
  return u & 0x80 ? -magnitude : magnitude;
}

// A Sun .au file of 8-bit mu-law codes (interleaved when channels > 1).
function makeAu(codes, { rate = 8000, channels = 1, annotation = 'Sonavelt\0\0', dataSize } = {}) {
  const note = Buffer.from(annotation, 'latin1');
  const header = Buffer.alloc(24);
  header.write('.snd', 0, 'latin1');
  header.writeUInt32BE(24 + note.length, 4);
  header.writeUInt32BE(dataSize === undefined ? codes.length : dataSize, 8);
  header.writeUInt32BE(1, 12);
  header.writeUInt32BE(rate, 16);
  header.writeUInt32BE(channels, 20);
  return Buffer.concat([header, note, Buffer.from(codes)]);
}

// A sound told apart from the others by its length in frames; its codes walk
// through the code range so the first samples say whether decoding is right.
function patternAu(frames, options) {
  const codes = [];
  for (let i = 0; i < frames; ++i) codes.push((i * 37 + 11) % 256);
  return makeAu(codes, options);
}

// A 16-bit PCM mono WAVE file of `frames` frames of a 440 Hz tone.
function makeWave(frames, rate = 8000) {
  const data = Buffer.alloc(frames * 2);
  for (let i = 0; i < frames; ++i) {
    data.writeInt16LE(Math.round(8000 * Math.sin((2 * Math.PI * 440 * i) / rate)), i * 2);
  }
  return waveFile(data, rate, 1);
}

// A 16-bit PCM WAVE file around `data` (interleaved little-endian samples).
function waveFile(data, rate, channels) {
  const header = Buffer.alloc(44);
  header.write('RIFF', 0, 'latin1');
  header.writeUInt32LE(36 + data.length, 4);
  header.write('WAVEfmt ', 8, 'latin1');
  header.writeUInt32LE(16, 16);
  header.writeUInt16LE(1, 20);
  header.writeUInt16LE(channels, 22);
  header.writeUInt32LE(rate, 24);
  header.writeUInt32LE(rate * 2 * channels, 28);
  header.writeUInt16LE(2 * channels, 32);
  header.writeUInt16LE(16, 34);
  header.write('data', 36, 'latin1');
  header.writeUInt32LE(data.length, 40);
  return Buffer.concat([header, data]);
}

// WCAG relative luminance and contrast of two computed "rgb(...)" colours.
function luminance(css) {
  const [r, g, b] = css.match(/\d+(\.\d+)?/g).slice(0, 3).map(Number).map((v) => {
    const c = v / 255;
    return c <= 0.03928 ? c / 12.92 : ((c + 0.055) / 1.055) ** 2.4;
  });
  return 0.2126 * r + 0.7152 * g + 0.0722 * b;
}
function contrast(a, b) {
  const [x, y] = [luminance(a), luminance(b)].sort((p, q) => q - p);
  return (x + 0.05) / (y + 0.05);
}

// The page as a run leaves it, with the player lines in its applet block:
// the data file's line with `data`, the control's corner with `position`.
function processedPage({
  resource = 'index', random = true, visible = true, extraBody = '', head = '', data = false,
  position = '', body = '<body bgcolor="#FFFFFF">',
} = {}) {
  const size = visible ? 'width="190" height="20"' : 'width="2" height="2"';
  const dataLine = data ? `<script src="${resource}.sounds.js"></script>${CRLF}` : '';
  const positionAttribute = position ? ` data-position="${position}"` : '';
  return [
    `<html><head><title>Sample page</title>${head}</head>`,
    body,
    '<h1 id="title">Welcome</h1>',
    '<p><a id="leave" href="next.html">Next page</a> <a id="anchor" href="#here">Here</a></p>',
    extraBody,
    `<br><center>${CRLF}<applet code=SonaveltRandomEventBackground ${size}>${CRLF}` +
      `<param name=random value="${random ? 'Yes' : 'No'}">${CRLF}` +
      `<param name=resource value="${resource}">${CRLF}` +
      dataLine +
      `<script src="sonavelt-player.js" data-resource="${resource}"${positionAttribute}></script>${CRLF}` +
      `You will hear sounds if you use Java-enabled browsers.${CRLF}</applet>` +
      `${CRLF}</center><br>${CRLF}`,
    '<p id="here">End of page</p>',
    '</body></html>',
  ].join('\n');
}

// The run's data file for the player: the resource file's bytes and, per
// sound, its browser copy and that copy's length in frames at 48 kHz.
function playerData(resource, resourceBytes, sounds) {
  const entries = sounds.map(({ au, copy = '', frames = 0 }) => ({ au, copy, frames }));
  return `(window.SonaveltPlayerData = window.SonaveltPlayerData || {})[${JSON.stringify(resource)}] = ` +
    JSON.stringify({ format: 1, resource: resourceBytes.toString('base64'), sounds: entries }) + ';\n';
}

module.exports = {
  playerData,
  encodeResource, resourceText, muLawToLinear, makeAu, patternAu, makeWave, waveFile, processedPage,
  contrast,
};
