// The page around the program: the frame ticks, input, the playfield canvas,
// storage and start-up; menu.js, dialogs.js and audio.js add the rest. The
// program (tavro.js and tavro.wasm) calls in through TavroPage; the page
// only queues what the player does and answers when the program asks.
"use strict";

const TavroPage = (() => {
  const kSide = 512;
  const kTickMs = 20;
  // With WaitFlag 0 frames run back to back for this long before the page
  // lets the browser paint.
  const kBusyBudgetMs = 12;

  const canvas = document.getElementById("playfield");
  const context = canvas.getContext("2d", { alpha: false });
  // The picture straight over the program's pixels, made anew only when
  // its memory has grown (which replaces the buffer underneath).
  let picture = null;
  const statusLine = document.getElementById("status");

  const page = {
    scriptText: null,
    framesRun: 0,
    // milliseconds from the start of loading to the first frame shown
    firstFrameMs: null,
    playbackDone: false,
    programEnded: false,
    ready: false,
    // an open menu holds the frames, as a window's menu loop does, and so
    // does a modal dialog of the page's own
    menuOpen: false,
    pageDialogOpen: false,
    // what the status line shows when nothing else is said
    idleStatus: "",
    // the stored items' texts as the program last read or stored them
    // (files/web_files.cpp), and how many it copied in and stored
    storageKnown: new Map(),
    storageCopies: 0,
    storageWrites: 0,
  };

  // ---- Input and frame ticks ------------------------------------------

  // The kinds of input the program takes (PageEventKind).
  const kEventClick = 1;
  const kEventMove = 2;
  const kEventCommand = 3;
  const kEventKey = 6;
  const events = [];  // {kind, first, second}
  let waiter = null;  // {resolve, waitFlag} while the program waits
  let origin = performance.now();
  let lastTick = -1;
  let tickTimer = null;
  let animationPending = false;
  let busySince = 0;
  let yieldPending = false;
  const yieldChannel = new MessageChannel();
  let fastFrames = false;  // the test hook's unpaced frames

  function queueEvent(kind, first, second) {
    // Moves are merged as a window system merges them: only the newest
    // position of a run of moves waits.
    const last = events[events.length - 1];
    if (kind === kEventMove && last && last.kind === kEventMove) {
      last.first = first;
      last.second = second;
    } else {
      events.push({ kind, first, second });
    }
    pump();
  }

  function framesAllowed() {
    return !document.hidden && !page.menuOpen && !page.pageDialogOpen && !page.programEnded;
  }

  function answer(value) {
    const w = waiter;
    waiter = null;
    w.resolve(value);
  }

  // The display's frame: the latest picture goes to the canvas, and unpaced
  // frames go on after the browser has painted.
  function requestAnimation() {
    if (animationPending) return;
    animationPending = true;
    requestAnimationFrame(() => {
      animationPending = false;
      drawPicture();
      busySince = performance.now();
      pump();
    });
  }

  yieldChannel.port1.onmessage = () => {
    yieldPending = false;
    if (waiter && events.length === 0 && framesAllowed()) answer(1);
    else pump();
  };

  function pump() {
    if (!waiter) return;
    if (events.length > 0) return answer(0);
    if (!framesAllowed()) return;  // visibility and menu changes pump again
    if (waiter.waitFlag === 0 || fastFrames) {
      if (performance.now() - busySince < kBusyBudgetMs) {
        if (!yieldPending) {
          yieldPending = true;
          yieldChannel.port2.postMessage(0);
        }
      } else {
        requestAnimation();
      }
      return;
    }
    // The 20 ms clock, whatever the display's rate: one frame at most per
    // tick, and ticks missed are not made up.
    const now = performance.now();
    const tick = Math.floor((now - origin) / kTickMs);
    if (tick > lastTick) {
      lastTick = tick;
      return answer(1);
    }
    if (tickTimer === null) {
      const wait = origin + (tick + 1) * kTickMs - now;
      tickTimer = setTimeout(() => {
        tickTimer = null;
        pump();
      }, Math.max(0, wait));
    }
  }

  page.waitForWork = (waitFlag) =>
    new Promise((resolve) => {
      waiter = { resolve, waitFlag };
      pump();
    });

  page.takeEvent = () => events.shift() || null;
  page.postEvent = (kind) => queueEvent(kind, 0, 0);
  page.queueCommand = (id) => queueEvent(kEventCommand, id, 0);
  // a key typed during a replay: its character's code
  page.queueKey = (character) => queueEvent(kEventKey, character, 0);
  // Frames may have become allowed (a menu closed).
  page.pump = pump;

  // Sleeps to the millisecond: timers alone are clamped to 4 ms or more
  // when they follow one another, which would draw the wipes and the
  // fireworks out, so the last few milliseconds pass in yields to the
  // browser's task queue.
  const sleepChannel = new MessageChannel();
  let sleepWake = null;
  sleepChannel.port1.onmessage = () => sleepWake();
  page.sleep = (milliseconds) =>
    new Promise((resolve) => {
      const deadline = performance.now() + milliseconds;
      sleepWake = () => {
        if (performance.now() >= deadline) resolve();
        else sleepChannel.port2.postMessage(0);
      };
      if (milliseconds > 8) setTimeout(sleepWake, milliseconds - 5);
      else sleepChannel.port2.postMessage(0);
    });

  document.addEventListener("visibilitychange", () => {
    if (document.hidden) saveSettings();
    else page.repaintAll();
    pump();
  });
  window.addEventListener("pagehide", saveSettings);

  function saveSettings() {
    if (page.ready && !page.programEnded) Module._WebSaveSettings();
  }

  // The text as UTF-8 in the program's memory, in a buffer from its malloc
  // (the program frees it); its length in bytes goes to the int at
  // lengthAddress when one is given. 0 when memory runs out.
  page.programString = (text, lengthAddress = 0) => {
    const size = Module.lengthBytesUTF8(text);
    const buffer = Module._malloc(size + 1);
    if (!buffer) return 0;
    Module.stringToUTF8(text, buffer, size + 1);
    if (lengthAddress) Module.HEAP32[lengthAddress >> 2] = size;
    return buffer;
  };

  // ---- The playfield ----------------------------------------------------

  // The program's latest picture, put on the canvas in the display's next
  // frame: a display slower than the ticks shows fewer of them, a faster one
  // shows each once. Only the rectangles that changed since the canvas last
  // showed it are put there, those of every frame run meanwhile; a repaint
  // of the canvas's own (a new size or pixel ratio, the canvas restored, the
  // page shown again) puts the whole. `pixels` gives the picture's bytes as
  // they are when it is called: the program's memory may grow (and move)
  // before then.
  let pixels = null;
  let changedRects = [];  // [x, y, width, height]
  let changedWhole = false;
  // More rectangles than this waiting are put as the whole picture.
  const kMaxChangedRects = 64;
  page.drawPending = () => changedWhole || changedRects.length > 0;
  // `rects`: the changed rectangles, null for the whole picture.
  page.showFrame = (source, rects, framesRun) => {
    pixels = source;
    page.framesRun = framesRun;
    if (rects === null) {
      changedWhole = true;
    } else if (!changedWhole) {
      for (const rect of rects) changedRects.push(rect);
      if (changedRects.length > kMaxChangedRects) changedWhole = true;
    }
    if (page.drawPending()) requestAnimation();
  };
  page.repaintAll = () => {
    if (!pixels) return;
    changedWhole = true;
    requestAnimation();
  };

  function drawPicture() {
    if (!page.drawPending()) return;
    const rgba = pixels();
    if (!picture || picture.data.buffer !== rgba.buffer || picture.data.byteOffset !== rgba.byteOffset) {
      picture = new ImageData(new Uint8ClampedArray(rgba.buffer, rgba.byteOffset, rgba.length), kSide, kSide);
    }
    if (changedWhole) {
      context.putImageData(picture, 0, 0);
    } else {
      for (const [x, y, width, height] of changedRects) context.putImageData(picture, 0, 0, x, y, width, height);
    }
    changedRects = [];
    changedWhole = false;
    if (page.firstFrameMs === null && page.framesRun > 0) page.firstFrameMs = performance.now();
  }
  canvas.addEventListener("contextrestored", page.repaintAll);

  // ---- The whole glyph table ---------------------------------------------

  // The program carries only part of the font; the first text that lacks a
  // character has the page fetch the whole table once, and the program
  // takes it between frames. fetchedMs: when it had come (from the start of
  // loading); taken: whether the program has it.
  const glyphTable = { asked: false, data: null, fetchedMs: null, taken: false, failure: null };
  page.glyphTable = glyphTable;
  page.fetchGlyphTable = () => {
    if (glyphTable.asked) return;
    glyphTable.asked = true;
    fetch("unifont-16.glyphs")
      .then(async (response) => {
        if (!response.ok) throw new Error(response.status + " " + response.statusText);
        glyphTable.data = new Uint8Array(await response.arrayBuffer());
        glyphTable.fetchedMs = performance.now();
      })
      .catch((error) => {
        glyphTable.failure = error.message;
        console.warn("unifont-16.glyphs: " + error.message);
      });
  };
  page.glyphTableTaken = () => {
    glyphTable.data = null;
    glyphTable.taken = true;
  };

  // The playfield's side in device pixels for a room of `room` device
  // pixels: the largest whole number of device pixels per game pixel that
  // fits, unless that leaves more than a quarter of the room empty; then
  // the whole room, its game pixels sampled by nearest neighbour (none more
  // than one device pixel larger than another).
  const kLeastFill = 0.75;
  page.playfieldDeviceSide = (room) => {
    const whole = Math.floor(room / kSide) * kSide;
    return whole > 0 && whole >= kLeastFill * room ? whole : room;
  };

  // The CSS position nearest `at` that lies on a whole device pixel (or
  // nearest to one). Browsers lay out in fractions of a CSS pixel (1/64 in
  // Chromium, 1/60 in Firefox), so only quarters are taken, which both hold
  // exactly.
  function onDevicePixel(at, ratio) {
    const base = Math.round(at * 4);
    let best = base / 4;
    let bestError = Infinity;
    for (let step = 0; step <= 64 && bestError > 1e-6; step++) {
      for (const quarter of [base - step, base + step]) {
        const p = quarter / 4;
        const error = Math.abs(p * ratio - Math.round(p * ratio));
        if (error < bestError - 1e-9) {
          best = p;
          bestError = error;
        }
      }
    }
    return best;
  }

  // Sizes the playfield for the window beside the menu bar and the status
  // line. Its box takes whole CSS pixels (browsers may paint a box's edges
  // only on those); the canvas, 512 CSS pixels, is scaled into it by a
  // transform, which keeps exact device pixels, and moved onto a whole
  // device pixel: with a whole number of device pixels per game pixel each
  // game pixel then covers exactly as many.
  function fitPlayfield() {
    const ratio = window.devicePixelRatio || 1;
    const frame = document.getElementById("window");
    const box = document.getElementById("playfield-box");
    const chrome =
      document.getElementById("menubar").getBoundingClientRect().height +
      statusLine.getBoundingClientRect().height + 2;
    const roomWidth = window.innerWidth - 2;
    const roomHeight = window.innerHeight - chrome;
    // a window too small for anything keeps a playfield of 64 CSS pixels
    const room = Math.floor(Math.max(64, Math.min(roomWidth, roomHeight)) * ratio + 1e-6);
    const side = page.playfieldDeviceSide(room) / ratio;
    const boxSide = Math.ceil(side - 1e-6);
    box.style.width = boxSide + "px";
    box.style.height = boxSide + "px";
    statusLine.style.maxWidth = boxSide - 12 + "px";
    frame.style.left = "0px";
    frame.style.top = "0px";
    const outer = frame.getBoundingClientRect();
    let inner = box.getBoundingClientRect();
    const centre = (free, inset) => onDevicePixel(Math.max(0, free / 2) + inset, ratio) - inset;
    frame.style.left = centre(window.innerWidth - outer.width, inner.left - outer.left) + "px";
    frame.style.top = centre(window.innerHeight - outer.height, inner.top - outer.top) + "px";
    inner = box.getBoundingClientRect();
    const shift = (at) => (Math.round(at * ratio) - at * ratio) / ratio;
    canvas.style.transform =
      `translate(${shift(inner.left)}px, ${shift(inner.top)}px) scale(${side / kSide})`;
    page.repaintAll();
  }
  window.addEventListener("resize", fitPlayfield);
  // A new pixel ratio (zoom, another screen) need not resize the window.
  function followRatio() {
    matchMedia(`(resolution: ${window.devicePixelRatio}dppx)`).addEventListener(
      "change",
      () => {
        fitPlayfield();
        followRatio();
      },
      { once: true }
    );
  }
  followRatio();
  page.fitPlayfield = fitPlayfield;

  function playfieldPoint(event) {
    const rect = canvas.getBoundingClientRect();
    const x = Math.floor(((event.clientX - rect.left) * kSide) / rect.width);
    const y = Math.floor(((event.clientY - rect.top) * kSide) / rect.height);
    if (x < 0 || y < 0 || x >= kSide || y >= kSide) return null;
    return { x, y };
  }

  canvas.addEventListener("pointerdown", (event) => {
    if (event.button !== 0) return;
    event.preventDefault();
    page.closeMenu(false);
    const p = playfieldPoint(event);
    if (p) queueEvent(kEventClick, p.x, p.y);
  });
  canvas.addEventListener("pointermove", (event) => {
    const p = playfieldPoint(event);
    if (p) queueEvent(kEventMove, p.x, p.y);
  });
  canvas.addEventListener("contextmenu", (event) => event.preventDefault());

  // The score line and the ranking for screen readers, in the hidden live
  // regions: the ranking as it changes, the score line at most every
  // couple of seconds (always ending at the newest), so that a game's quick
  // points are not read out one by one.
  const kSpokenScoreMs = 2000;
  const spokenScore = document.getElementById("spoken-score");
  const spokenRanking = document.getElementById("spoken-ranking");
  let scoreText = "";
  let scoreSpokenAt = -Infinity;
  let scoreTimer = null;
  function speakScore() {
    scoreTimer = null;
    scoreSpokenAt = performance.now();
    spokenScore.textContent = scoreText;
  }
  page.mirror = (scoreLine, rankingRows) => {
    scoreText = scoreLine;
    if (scoreTimer === null) {
      scoreTimer = setTimeout(speakScore, Math.max(0, scoreSpokenAt + kSpokenScoreMs - performance.now()));
    }
    const rows = rankingRows.split("\n");
    if (rows.join("\n") !== [...spokenRanking.children].map((row) => row.textContent).join("\n")) {
      spokenRanking.replaceChildren(...rows.map((text) => {
        const row = document.createElement("li");
        row.textContent = text;
        return row;
      }));
    }
  };

  page.showMessage = (text) => {
    statusLine.textContent = text || page.idleStatus;
  };

  // The browser refused to store the settings (storage full or turned
  // off): the player is told, as the ranking will not be there next time.
  const kNotSaved = "設定とランキングを保存できませんでした (ブラウザーの保存領域が使えません)。";
  page.storageRefused = () => {
    page.showMessage(kNotSaved);
    document.getElementById("saved").textContent = kNotSaved;
  };

  page.ended = () => {
    page.programEnded = true;
    page.closeMenu(false);
    document.getElementById("ended").hidden = false;
    document.getElementById("restart").focus();
  };
  document.getElementById("restart").addEventListener("click", () => location.reload());

  // The script's last picture is on the canvas by the time the end is told.
  page.playbackEnded = () => {
    drawPicture();
    page.playbackDone = true;
  };

  // ---- Start ------------------------------------------------------------

  // ?script=NAME: the runner's script format, from a file served beside the
  // page, drives the program (the test hook); ?fast=1 runs its frames
  // unpaced.
  async function loadScript(parameters) {
    const name = parameters.get("script");
    if (name === null) return true;
    const url = new URL(name, location.href);
    if (url.origin !== location.origin) {
      page.showMessage("script: only a file beside the page can be played");
      return false;
    }
    try {
      const response = await fetch(url);
      if (!response.ok) throw new Error(response.status + " " + response.statusText);
      page.scriptText = await response.text();
    } catch (e) {
      page.showMessage("script: " + name + ": " + e.message);
      return false;
    }
    fastFrames = parameters.get("fast") === "1";
    return true;
  }

  page.start = async () => {
    fitPlayfield();
    const parameters = new URLSearchParams(location.search);
    if (!(await loadScript(parameters))) return;
    await page.replays.load();
    window.Module = {
      onRuntimeInitialized() {
        page.ready = true;
      },
      printErr(text) {
        console.warn(text);
      },
      onAbort(what) {
        page.showMessage("TAVRO stopped: " + what);
      },
    };
    origin = performance.now();
    const program = document.createElement("script");
    program.src = "tavro.js";
    program.onerror = () => page.showMessage("tavro.js could not be loaded");
    document.body.append(program);
  };

  return page;
})();
