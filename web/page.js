// The page around the show (web/main.cpp): loading, "Click to start", message boxes,
// the end with "Play again", and what tests read. `quorlPage` is what the program calls.
'use strict';
(function () {
  const canvas = document.getElementById('canvas');
  const status = document.getElementById('status');
  const start = document.getElementById('start');
  const boxes = document.getElementById('boxes');
  const ended = document.getElementById('ended');
  const params = new URLSearchParams(location.search);
  if (params.has('at')) document.body.classList.add('still');

  const page = {
    loadedAt: performance.now(),  // the page's time origin is the navigation's start
    firstFrameAt: null,           // page time of the first frame shown
    startedAt: null,              // page time of the start click
    endCode: null,                // the show's exit code once it is over
    still: false,                 // a still is on the canvas
    boxes: [],                    // [caption, text] of every box shown, in order

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

    waitForClick(onStart) {
      page.firstFrameAt = performance.now();
      status.classList.add('hidden');
      start.classList.remove('hidden');
      start.addEventListener('click', function go() {
        start.removeEventListener('click', go);
        start.classList.add('hidden');
        page.startedAt = performance.now();
        if (document.documentElement.requestFullscreen && !params.has('speed')) {
          document.documentElement.requestFullscreen().catch(function () {});
        }
        canvas.focus();
        onStart();
      });
    },

    // Boxes queue: only the first is shown, its OK shows the next.
    showBox(caption, text) {
      page.boxes.push([caption, text]);
      status.classList.add('hidden');
      const box = document.createElement('div');
      box.className = 'box' + (boxes.children.length ? ' hidden' : '');
      box.setAttribute('role', 'alertdialog');
      const title = document.createElement('h1');
      title.textContent = caption;
      const body = document.createElement('p');
      body.textContent = text;
      const ok = document.createElement('button');
      ok.type = 'button';
      ok.textContent = 'OK';
      ok.addEventListener('click', function () {
        box.remove();
        if (boxes.firstElementChild) boxes.firstElementChild.classList.remove('hidden');
      });
      box.append(title, body, ok);
      boxes.append(box);
    },

    ended(code) {
      page.endCode = code;
      status.classList.add('hidden');
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
  ended.querySelector('button').addEventListener('click', function () { location.reload(); });
  window.quorlPage = page;

  window.Module = {
    canvas: canvas,
    print: function (text) { console.log(text); },
    printErr: function (text) { console.error(text); },
    setStatus: function (text) { if (text) status.textContent = text; },
    onAbort: function (what) {
      status.classList.remove('hidden');
      status.textContent = 'The show stopped: ' + what;
    },
  };
  canvas.addEventListener('webglcontextlost', function (e) {
    status.classList.remove('hidden');
    status.textContent = 'The graphics context was lost: reload the page.';
    e.preventDefault();
  });
})();
