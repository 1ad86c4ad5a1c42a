// The page around the show (web/main.cpp): the landing, loading and checking the show's
// files, "Click or tap to start", cards for what went wrong, the end with "Play again",
// and what tests read. `quorlPage` is what the program calls.
'use strict';
(function () {
  const $ = function (id) { return document.getElementById(id); };
  const canvas = $('canvas'), status = $('status'), start = $('start'), boxes = $('boxes');
  const ended = $('ended'), note = $('note');
  const params = new URLSearchParams(location.search);
  if (params.has('at')) document.body.classList.add('still');

  const page = {
    loadedAt: performance.now(),  // the page's time origin is the navigation's start
    firstFrameAt: null,           // page time of the first frame shown
    startedAt: null,              // page time of the start click
    endCode: null,                // the show's exit code once it is over
    still: false,                 // a still is on the canvas
    boxes: [],                    // [caption, text] of every box the program showed, in order
    failure: null,                // [cause, title, text] of the page's failure card
    playAgain: false,             // loaded by "Play again"
    // Test hook: a copy of every block of samples handed to Web Audio, when an array.
    audioTap: window.quorlTapAudio ? [] : null,

    // A number from the address: at, speed, and width and height from size=WxH; NaN when
    // absent or malformed.
    option(name) {
      if (name === 'width' || name === 'height') {
        const m = /^(\d+)x(\d+)$/.exec(params.get('size') || '');
        return m ? Number(m[name === 'width' ? 1 : 2]) : NaN;
      }
      const v = params.get(name);
      return v !== null && v.trim() !== '' ? Number(v) : NaN;
    },

    // The show runs: started, not over, nothing in front of it. Keys count only then.
    playing() {
      return page.startedAt !== null && page.endCode === null && page.failure === null &&
          !boxes.firstElementChild;
    },

    waitForClick(onStart) {
      page.firstFrameAt = performance.now();
      status.classList.add('hidden');
      if (page.failure) return;
      const go = function () {
        start.removeEventListener('click', go);
        if (page.startedAt !== null || page.failure) return;
        start.classList.add('hidden');
        document.body.classList.add('playing');
        page.startedAt = performance.now();
        if (document.documentElement.requestFullscreen && !params.has('speed')) {
          document.documentElement.requestFullscreen().catch(function () {});
        }
        canvas.focus();
        onStart();
      };
      start.addEventListener('click', go);
      // A tap: its pointerup lets the page start sound and fullscreen, as a click does.
      start.addEventListener('pointerup', function (e) { if (e.pointerType !== 'mouse') go(); });
      start.classList.remove('hidden');
      // "Play again" starts at once where the browser lets the sound start without a new
      // click (its context resumes); elsewhere the button stays.
      if (page.playAgain) {
        const audio = Module.quorlAudio;
        if (!audio) {
          go();
        } else {
          audio.context.resume().then(go, function () {});
        }
      }
    },

    // The program's boxes queue: only the first is shown, its OK shows the next. After a
    // card of the page's own (no WebGL 2) they are the program's detail: the console has
    // them already, as `caption: text`.
    showBox(caption, text) {
      page.boxes.push([caption, text]);
      status.classList.add('hidden');
      if (page.failure) return;
      const box = card(caption, text, 'OK', function () {
        box.remove();
        if (boxes.firstElementChild) boxes.firstElementChild.classList.remove('hidden');
      });
      if (boxes.children.length) box.classList.add('hidden');
      boxes.append(box);
    },

    // A failure the page explains itself: a card with what happened and what to do, and
    // the same text as one console line. The first one stands; nothing of the show runs.
    fail(cause, title, text) {
      if (page.failure) return;
      page.failure = [cause, title, text];
      console.error(title + ': ' + text);
      status.classList.add('hidden');
      start.classList.add('hidden');
      boxes.replaceChildren(card(title, text, null, null));
    },

    noWebGL2() {
      page.fail('webgl2', 'No WebGL 2',
                'This browser gave the page no WebGL 2, which the show draws with. Turn on ' +
                'hardware (graphics) acceleration in its settings, or open the page in a ' +
                'current Chrome, Edge, Firefox or Safari.');
    },

    // No sound device: the show plays silently, and says so under the picture.
    noSound(why) {
      note.textContent = 'No sound: ' + why + '. The show plays silently.';
      note.classList.remove('hidden');
      console.warn(note.textContent);
    },

    ended(code) {
      page.endCode = code;
      status.classList.add('hidden');
      start.classList.add('hidden');
      canvas.style.cursor = '';
      if (document.fullscreenElement && document.exitFullscreen) {
        document.exitFullscreen().catch(function () {});
      }
      if (code === 0 && !params.has('at')) ended.classList.remove('hidden');
    },

    stillReady() {
      page.firstFrameAt = performance.now();
      status.classList.add('hidden');
      page.still = true;
    },
  };
  window.quorlPage = page;

  function card(title, text, button, onButton) {
    const box = document.createElement('div');
    box.className = 'box';
    box.setAttribute('role', 'alertdialog');
    const heading = document.createElement('h1');
    heading.textContent = title;
    const body = document.createElement('p');
    body.textContent = text;
    box.append(heading, body);
    if (button) {
      const b = document.createElement('button');
      b.type = 'button';
      b.textContent = button;
      b.addEventListener('click', onButton);
      box.append(b);
    }
    return box;
  }

  // A new show from its start: a fresh page (the program's state is the process's). The
  // browser may let it start its sound at once after this click; if not, it offers the
  // start again.
  ended.querySelector('button').addEventListener('click', function () {
    sessionStorage.setItem('quorl-play-again', '1');
    location.reload();
  });

  window.Module = {
    canvas: canvas,
    print: function (text) { console.log(text); },
    printErr: function (text) { if (text !== '') console.error(text); },
    setStatus: function () {},  // the page shows its own progress
    onAbort: function (what) {
      page.fail('stopped', 'The show stopped', String(what) + '. Reload the page.');
    },
  };
  canvas.addEventListener('webglcontextlost', function (e) {
    page.fail('context', 'The graphics stopped',
              'The browser took the WebGL context back (a graphics driver reset or too ' +
              'many pages using the GPU). Reload the page.');
    e.preventDefault();
  });

  // ---- Loading: the data package and the program's code, checked before the program
  // runs, so a missing or damaged file is named as such and not as a broken shader.
  class Failure extends Error {
    constructor(cause, title, text) { super(text); this.cause = cause; this.title = title; }
  }

  function address(file) { return new URL(file, location.href).href; }

  // The file's bytes; `progress(bytes)` as they arrive. A failure is a card of `cause`.
  async function download(file, cause, title, progress) {
    let response;
    try {
      response = await fetch(file, {cache: 'no-cache'});
    } catch (e) {
      throw new Failure(cause, title, address(file) + ': ' + e.message +
                        ' (a network error). Check the connection and reload the page.');
    }
    if (!response.ok) {
      throw new Failure(cause, title, address(file) + ': HTTP ' + response.status +
                        (response.statusText ? ' ' + response.statusText : '') +
                        '. Reload the page; if it stays, the site is missing the file.');
    }
    if (!response.body || !progress) return new Uint8Array(await response.arrayBuffer());
    const parts = [];
    let got = 0;
    const reader = response.body.getReader();
    for (;;) {
      const {done, value} = await reader.read();
      if (done) break;
      parts.push(value);
      got += value.length;
      progress(got);
    }
    const bytes = new Uint8Array(got);
    let at = 0;
    for (const p of parts) { bytes.set(p, at); at += p.length; }
    return bytes;
  }

  async function sha256(bytes) {
    if (window.crypto && crypto.subtle) {
      return hex(new Uint8Array(await crypto.subtle.digest('SHA-256', bytes)));
    }
    // A page served over plain http from afar.
    if (!window.quorlSha256) await script('sha256.js');
    return hex(window.quorlSha256(bytes));
  }
  function hex(bytes) {
    return Array.from(bytes, function (b) { return b.toString(16).padStart(2, '0'); }).join('');
  }

  function script(file) {
    return new Promise(function (resolve, reject) {
      const s = document.createElement('script');
      s.src = file;
      s.onload = resolve;
      s.onerror = function () {
        reject(new Failure('code', 'The show\'s program did not load',
                           address(file) + ' could not be loaded. Reload the page.'));
      };
      document.body.append(s);
    });
  }

  async function load() {
    if (location.protocol === 'file:') {
      throw new Failure('file', 'Open this page through a web server',
                        'A page opened from the disk (file://) may not read the show\'s ' +
                        'files. Serve this folder, e.g. web/serve.sh, and open ' +
                        'http://localhost:8000/ instead.');
    }
    // The three at once: the package's size and SHA-256, the package, the program's code.
    const dataTitle = 'The show\'s data did not download';
    const metaLoad = download('quorl-data.json', 'download', dataTitle, null);
    const code = download('quorl.wasm', 'code', 'The show\'s program did not download', null);
    let size = 0;
    const dataLoad = download('quorl.data', 'download', dataTitle, function (got) {
      if (!size) return;
      status.textContent = 'Downloading… ' + Math.floor(100 * Math.min(got, size) / size) + ' %';
    });
    // Each is told when awaited, in this order: a missing package before a missing program.
    [metaLoad, code, dataLoad].forEach(function (p) { p.catch(function () {}); });
    const meta = JSON.parse(new TextDecoder().decode(await metaLoad));
    size = meta.size;
    const data = await dataLoad;
    const damaged = 'The show\'s data arrived damaged';
    const again = ' (a broken download or cache). Reload the page; if it stays, the copy ' +
        'on the site is broken.';
    if (data.length !== meta.size) {
      throw new Failure('data', damaged, address('quorl.data') + ' has ' + data.length +
                        ' bytes, not ' + meta.size + again);
    }
    if (await sha256(data) !== meta.sha256) {
      throw new Failure('data', damaged, address('quorl.data') + ': its SHA-256 is not the ' +
                        'one the build wrote' + again);
    }
    const wasm = await code;
    status.textContent = 'Starting…';
    Module.getPreloadedPackage = function () { return data.buffer; };
    Module.instantiateWasm = function (imports, receive) {
      WebAssembly.instantiate(wasm, imports).then(function (r) {
        receive(r.instance, r.module);
      }, function (e) {
        page.fail('code', 'The show\'s program did not start',
                  address('quorl.wasm') + ' could not be compiled: ' + e.message +
                  '. Open the page in a current browser with WebAssembly.');
      });
      return {};
    };
    await script('quorl-data.js');
    await script('quorl.js');
  }

  if (!params.has('at')) document.body.classList.add('landing');
  page.playAgain = sessionStorage.getItem('quorl-play-again') !== null;
  sessionStorage.removeItem('quorl-play-again');
  load().catch(function (e) {
    if (e instanceof Failure) {
      page.fail(e.cause, e.title, e.message);
    } else {
      page.fail('stopped', 'The show stopped', String(e) + '. Reload the page.');
    }
  });
})();
