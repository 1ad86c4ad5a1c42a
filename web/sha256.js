// SHA-256 for pages where crypto.subtle is missing (it exists only in secure contexts:
// https and localhost). web/page.js loads this only then. quorlSha256(Uint8Array) -> Uint8Array.
'use strict';
window.quorlSha256 = function (bytes) {
  const k = new Uint32Array(64), h = new Uint32Array(8);
  // The constants: the fractional parts of the square and cube roots of the first primes.
  for (let n = 2, i = 0; i < 64; n++) {
    let prime = true;
    for (let d = 2; d * d <= n; d++) if (n % d === 0) { prime = false; break; }
    if (!prime) continue;
    const frac = function (x) { return (x - Math.floor(x)) * 4294967296 >>> 0; };
    if (i < 8) h[i] = frac(Math.sqrt(n));
    k[i++] = frac(Math.cbrt(n));
  }
  const length = bytes.length, blocks = ((length + 9 + 63) >> 6) << 6;
  const m = new Uint8Array(blocks);
  m.set(bytes);
  m[length] = 0x80;
  const view = new DataView(m.buffer);
  view.setUint32(blocks - 8, Math.floor(length / 0x20000000));
  view.setUint32(blocks - 4, (length << 3) >>> 0);
  const w = new Uint32Array(64);
  const ror = function (x, n) { return (x >>> n) | (x << (32 - n)); };
  for (let at = 0; at < blocks; at += 64) {
    for (let i = 0; i < 16; i++) w[i] = view.getUint32(at + 4 * i);
    for (let i = 16; i < 64; i++) {
      const a = w[i - 15], b = w[i - 2];
      w[i] = w[i - 16] + (ror(a, 7) ^ ror(a, 18) ^ (a >>> 3)) + w[i - 7] +
          (ror(b, 17) ^ ror(b, 19) ^ (b >>> 10));
    }
    let [a, b, c, d, e, f, g, hh] = h;
    for (let i = 0; i < 64; i++) {
      const t1 = (hh + (ror(e, 6) ^ ror(e, 11) ^ ror(e, 25)) + ((e & f) ^ (~e & g)) + k[i] +
                  w[i]) >>> 0;
      const t2 = ((ror(a, 2) ^ ror(a, 13) ^ ror(a, 22)) + ((a & b) ^ (a & c) ^ (b & c))) >>> 0;
      hh = g; g = f; f = e; e = (d + t1) >>> 0; d = c; c = b; b = a; a = (t1 + t2) >>> 0;
    }
    h[0] += a; h[1] += b; h[2] += c; h[3] += d; h[4] += e; h[5] += f; h[6] += g; h[7] += hh;
  }
  const out = new Uint8Array(32);
  const outView = new DataView(out.buffer);
  for (let i = 0; i < 8; i++) outView.setUint32(4 * i, h[i]);
  return out;
};
