"""Frames per second of the page's show at 1280x720 beside a bare WebGL 2 page that draws a
full-window quad sampling three textures (the composite's own reads) in the same browser,
for each engine of the browser tests; and the page's load to its first frame.

  xvfb-run -a -s "-screen 0 1920x1200x24" python3 bench/web_fps.py [SITE] [SECONDS]

SITE defaults to build-web/site (web/build.sh). Firefox needs the X display; chromium runs
headless. Prints one line per engine; the figures are medians of three runs."""
import os
import statistics
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "web"))
import cdp  # noqa: E402
import engines  # noqa: E402

W, H = 1280, 720
RUNS = 3
BARE = """<!doctype html><html><body style="margin:0;overflow:hidden;background:#000">
<canvas id="c" style="display:block;width:100vw;height:100vh"></canvas><script>
const c = document.getElementById('c');
c.width = innerWidth; c.height = innerHeight;
const gl = c.getContext('webgl2', {alpha: false, depth: false, antialias: false});
function shader(type, text) {
  const s = gl.createShader(type); gl.shaderSource(s, text); gl.compileShader(s); return s;
}
const p = gl.createProgram();
gl.attachShader(p, shader(gl.VERTEX_SHADER, `#version 300 es
in vec2 at; out vec2 uv;
void main() { uv = at * 0.5 + 0.5; gl_Position = vec4(at, 0.0, 1.0); }`));
gl.attachShader(p, shader(gl.FRAGMENT_SHADER, `#version 300 es
precision mediump float; in vec2 uv; out vec4 colour;
uniform sampler2D a, b, d; uniform float t;
void main() { colour = texture(a, uv) * texture(b, uv + t) + texture(d, uv * 2.0 - t); }`));
gl.linkProgram(p); gl.useProgram(p);
gl.bindBuffer(gl.ARRAY_BUFFER, gl.createBuffer());
gl.bufferData(gl.ARRAY_BUFFER, new Float32Array([-1, -1, 1, -1, -1, 1, 1, 1]), gl.STATIC_DRAW);
gl.enableVertexAttribArray(0); gl.vertexAttribPointer(0, 2, gl.FLOAT, false, 0, 0);
['a', 'b', 'd'].forEach(function (name, i) {
  const pixels = new Uint8Array(640 * 480 * 4);
  // Smooth pictures, as the gate, the film frame and the scratches are.
  for (let k = 0; k < pixels.length; k += 4) {
    const x = (k >> 2) % 640, y = Math.floor((k >> 2) / 640);
    pixels[k] = x * 255 / 639; pixels[k + 1] = y * 255 / 479; pixels[k + 2] = 128;
    pixels[k + 3] = 255;
  }
  gl.activeTexture(gl.TEXTURE0 + i);
  gl.bindTexture(gl.TEXTURE_2D, gl.createTexture());
  gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA, 640, 480, 0, gl.RGBA, gl.UNSIGNED_BYTE, pixels);
  gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.LINEAR);
  gl.uniform1i(gl.getUniformLocation(p, name), i);
});
const t = gl.getUniformLocation(p, 't');
window.frames = 0;
(function frame(now) {
  gl.uniform1f(t, now * 1e-4); gl.drawArrays(gl.TRIANGLE_STRIP, 0, 4);
  window.frames++; requestAnimationFrame(frame);
})(0);
</script></body></html>"""


def rate(page, counter, seconds):
    page.wait_for(counter + " > 10", 60)
    f0, t0 = page.evaluate("[%s, performance.now()]" % counter)
    time.sleep(seconds)
    f1, t1 = page.evaluate("[%s, performance.now()]" % counter)
    return (f1 - f0) * 1000.0 / (t1 - t0)


def main():
    site = sys.argv[1] if len(sys.argv) > 1 else os.path.join(engines.REPO, "build-web", "site")
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 15.0
    bare_dir = tempfile.mkdtemp(prefix="quorl-bare-")
    with open(os.path.join(bare_dir, "index.html"), "w") as f:
        f.write(BARE)
    show_server, bare_server = cdp.StaticServer(site), cdp.StaticServer(bare_dir)
    for engine in engines.ENGINES:
        browser = engines.launch(engine)
        loads, shows, bares = [], [], []
        try:
            for _ in range(RUNS):
                page = browser.new_page(W, H)
                # At 4x the clock the measured seconds cover most of the show's scenes.
                page.navigate(show_server.url + "index.html?speed=4")
                page.wait_for("quorlPage.firstFrameAt !== null", 120)
                loads.append(page.evaluate("quorlPage.firstFrameAt"))
                page.click(W // 2, H // 2)
                page.wait_for("quorlPage.startedAt !== null", 10)
                shows.append(rate(page, "Module._quorl_frames_drawn()", seconds))
                page.close()
                page = browser.new_page(W, H)
                page.navigate(bare_server.url + "index.html")
                bares.append(rate(page, "window.frames", seconds))
                page.close()
        finally:
            browser.close()
        show, bare = statistics.median(shows), statistics.median(bares)
        print("%s: load to first frame %.0f ms; at %dx%d the show %.1f fps, a bare WebGL 2 "
              "three-texture page %.1f fps: %.2f of it" %
              (engine, statistics.median(loads), W, H, show, bare, show / bare), flush=True)
    show_server.close()
    bare_server.close()


if __name__ == "__main__":
    main()
