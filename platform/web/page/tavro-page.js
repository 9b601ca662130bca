// The page around the program: the playfield canvas, the menu bar, the boxes
// and dialogs, the frame ticks, input and sound. The program (tavro.js and
// tavro.wasm) calls in through TavroPage; the page only queues what the
// player does and answers when the program asks.
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
  const menubar = document.getElementById("menubar");
  const statusLine = document.getElementById("status");

  const page = {
    scriptText: null,
    framesRun: 0,
    // milliseconds from the start of loading to the first frame shown
    firstFrameMs: null,
    playbackDone: false,
    programEnded: false,
    ready: false,
  };

  // ---- Input and frame ticks ------------------------------------------

  // The kinds of input the program takes (PageEventKind).
  const kEventClick = 1;
  const kEventMove = 2;
  const kEventCommand = 3;
  const events = [];  // {kind, first, second}
  let waiter = null;  // {resolve, waitFlag} while the program waits
  let origin = performance.now();
  let lastTick = -1;
  let animationPending = false;
  let busySince = 0;
  let yieldPending = false;
  const yieldChannel = new MessageChannel();
  let fastFrames = false;  // the test hook's unpaced frames
  let menuOpen = false;

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
    return !document.hidden && !menuOpen && !page.programEnded;
  }

  function answer(value) {
    const w = waiter;
    waiter = null;
    w.resolve(value);
  }

  function requestAnimation() {
    if (animationPending) return;
    animationPending = true;
    requestAnimationFrame(() => {
      animationPending = false;
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
    // One frame at most per 20 ms tick; ticks missed are not made up.
    const tick = Math.floor((performance.now() - origin) / kTickMs);
    if (tick > lastTick) {
      lastTick = tick;
      return answer(1);
    }
    requestAnimation();
  }

  page.waitForWork = (waitFlag) =>
    new Promise((resolve) => {
      waiter = { resolve, waitFlag };
      pump();
    });

  page.takeEvent = () => events.shift() || null;
  page.postEvent = (kind) => queueEvent(kind, 0, 0);

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

  page.showFrame = (rgba, framesRun) => {
    if (!picture || picture.data.buffer !== rgba.buffer || picture.data.byteOffset !== rgba.byteOffset) {
      picture = new ImageData(new Uint8ClampedArray(rgba.buffer, rgba.byteOffset, rgba.length), kSide, kSide);
    }
    context.putImageData(picture, 0, 0);
    page.framesRun = framesRun;
    if (page.firstFrameMs === null && framesRun > 0) page.firstFrameMs = performance.now();
  };

  // The playfield at the largest whole number of device pixels per game
  // pixel that fits the window beside the menu bar and the status line.
  function fitPlayfield() {
    const ratio = window.devicePixelRatio || 1;
    const chrome = menubar.offsetHeight + statusLine.offsetHeight + 2;
    const roomWidth = window.innerWidth - 2;
    const roomHeight = window.innerHeight - chrome;
    let scale = 1;
    while (scale < 64 && (kSide * (scale + 1)) / ratio <= Math.min(roomWidth, roomHeight)) {
      scale++;
    }
    let side = (kSide * scale) / ratio;
    // A window too small even for one device pixel a game pixel shrinks it.
    if (side > Math.min(roomWidth, roomHeight)) side = Math.max(64, Math.min(roomWidth, roomHeight));
    canvas.style.width = side + "px";
    canvas.style.height = side + "px";
    statusLine.style.maxWidth = side - 12 + "px";
  }
  window.addEventListener("resize", fitPlayfield);

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
    closeMenu(false);
    const p = playfieldPoint(event);
    if (p) queueEvent(kEventClick, p.x, p.y);
  });
  canvas.addEventListener("pointermove", (event) => {
    const p = playfieldPoint(event);
    if (p) queueEvent(kEventMove, p.x, p.y);
  });
  canvas.addEventListener("contextmenu", (event) => event.preventDefault());

  page.showMessage = (text) => {
    statusLine.textContent = text;
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
    closeMenu(false);
    document.getElementById("ended").hidden = false;
    document.getElementById("restart").focus();
  };
  document.getElementById("restart").addEventListener("click", () => location.reload());

  page.playbackEnded = () => {
    page.playbackDone = true;
  };

  // ---- The menu bar -----------------------------------------------------

  const popups = [];  // {title, element, items: [{element, id, mnemonic}]}
  const itemsById = new Map();
  let openIndex = -1;

  // "開始(&S)" as the text with S underlined, and its mnemonic.
  function labelOf(text) {
    const fragment = document.createDocumentFragment();
    const at = text.indexOf("&");
    if (at < 0 || at + 1 >= text.length) {
      fragment.append(text);
      return { fragment, mnemonic: null };
    }
    const key = text[at + 1];
    const underline = document.createElement("u");
    underline.textContent = key;
    fragment.append(text.slice(0, at), underline, text.slice(at + 2));
    return { fragment, mnemonic: key.toLowerCase() };
  }

  page.addPopup = (titleText) => {
    const index = popups.length;
    const title = document.createElement("button");
    title.type = "button";
    title.className = "menu-title";
    title.setAttribute("role", "menuitem");
    title.setAttribute("aria-haspopup", "true");
    title.setAttribute("aria-expanded", "false");
    const label = labelOf(titleText);
    title.append(label.fragment);
    const element = document.createElement("div");
    element.className = "menu-popup";
    element.setAttribute("role", "menu");
    element.hidden = true;
    popups.push({ title, element, items: [], mnemonic: label.mnemonic });
    menubar.append(title);
    document.body.append(element);
    title.addEventListener("pointerdown", (event) => {
      event.preventDefault();
      if (openIndex === index) closeMenu(true);
      else openMenu(index, false);
    });
    title.addEventListener("pointerenter", () => {
      if (openIndex >= 0 && openIndex !== index) openMenu(index, false);
    });
    title.addEventListener("keydown", (event) => {
      if (event.key === "Enter" || event.key === " " || event.key === "ArrowDown") {
        event.preventDefault();
        openMenu(index, true);
      } else if (event.key === "ArrowRight" || event.key === "ArrowLeft") {
        event.preventDefault();
        const step = event.key === "ArrowRight" ? 1 : popups.length - 1;
        popups[(index + step) % popups.length].title.focus();
      }
    });
    fitPlayfield();
  };

  page.addItem = (popupIndex, text, id, checkable, hint) => {
    const popup = popups[popupIndex];
    if (text === null) {
      const separator = document.createElement("hr");
      separator.className = "menu-separator";
      separator.setAttribute("role", "separator");
      popup.element.append(separator);
      return;
    }
    const element = document.createElement("button");
    element.type = "button";
    element.className = "menu-item";
    element.tabIndex = -1;
    element.setAttribute("role", checkable ? "menuitemcheckbox" : "menuitem");
    const check = document.createElement("span");
    check.className = "check";
    check.textContent = "✓";
    const label = labelOf(text);
    const span = document.createElement("span");
    span.append(label.fragment);
    element.append(check, span);
    const [statusTip, toolTip] = hint.split("\n");
    element.title = toolTip || "";
    // checked in the template, as the resource has them
    if (checkable) element.setAttribute("aria-checked", "true");
    const item = { element, id, mnemonic: label.mnemonic, statusTip: statusTip || "" };
    popup.items.push(item);
    popup.element.append(element);
    itemsById.set(id, item);
    element.addEventListener("click", () => choose(item));
    element.addEventListener("pointerenter", () => element.focus());
    element.addEventListener("focus", () => (statusLine.textContent = item.statusTip));
    element.addEventListener("keydown", (event) => menuKey(event, popupIndex, item));
  };

  page.setItemState = (id, enabled, checked) => {
    const item = itemsById.get(id);
    if (!item) return;
    item.element.setAttribute("aria-disabled", enabled ? "false" : "true");
    if (item.element.hasAttribute("aria-checked")) {
      item.element.setAttribute("aria-checked", checked ? "true" : "false");
    }
  };

  function openMenu(index, byKeyboard) {
    if (page.programEnded || !page.ready) return;
    closeMenu(false);
    const popup = popups[index];
    // the program sets the popup's checks and greying as it opens
    Module._WebInitMenuPopup(index);
    const box = popup.title.getBoundingClientRect();
    popup.element.style.left = box.left + window.scrollX + "px";
    popup.element.style.top = box.bottom + window.scrollY + "px";
    popup.element.hidden = false;
    popup.title.setAttribute("aria-expanded", "true");
    openIndex = index;
    menuOpen = true;
    if (byKeyboard) popup.items[0].element.focus();
  }

  function closeMenu(focusTitle) {
    if (openIndex < 0) return;
    const popup = popups[openIndex];
    popup.element.hidden = true;
    popup.title.setAttribute("aria-expanded", "false");
    if (focusTitle) popup.title.focus();
    else if (popup.element.contains(document.activeElement)) document.activeElement.blur();
    openIndex = -1;
    menuOpen = false;
    statusLine.textContent = "";
    pump();
  }

  function choose(item) {
    if (item.element.getAttribute("aria-disabled") === "true") return;
    closeMenu(false);
    queueEvent(kEventCommand, item.id, 0);
  }

  function menuKey(event, popupIndex, item) {
    const items = popups[popupIndex].items;
    const at = items.indexOf(item);
    const key = event.key;
    if (key === "ArrowDown" || key === "ArrowUp") {
      const step = key === "ArrowDown" ? 1 : items.length - 1;
      items[(at + step) % items.length].element.focus();
    } else if (key === "ArrowRight" || key === "ArrowLeft") {
      const step = key === "ArrowRight" ? 1 : popups.length - 1;
      openMenu((popupIndex + step) % popups.length, true);
    } else if (key === "Escape") {
      closeMenu(true);
    } else if (key === "Enter" || key === " ") {
      choose(item);
    } else if (key === "Tab") {
      closeMenu(false);
      return;
    } else {
      const match = items.find((i) => i.mnemonic && i.mnemonic === key.toLowerCase());
      if (!match) return;
      choose(match);
    }
    event.preventDefault();
  }

  document.addEventListener("pointerdown", (event) => {
    if (openIndex < 0) return;
    if (popups[openIndex].element.contains(event.target)) return;
    if (menubar.contains(event.target)) return;
    closeMenu(false);
  });

  // Alt with a popup's letter opens it, F10 (or Alt alone) goes to the menu
  // bar, as with a window's menu.
  document.addEventListener("keydown", (event) => {
    if (openDialog || page.programEnded) return;
    if (event.key === "Escape" && openIndex >= 0) {
      event.preventDefault();
      closeMenu(true);
    } else if (event.altKey && !event.ctrlKey && event.key.length === 1) {
      const index = popups.findIndex((p) => p.mnemonic === event.key.toLowerCase());
      if (index >= 0) {
        event.preventDefault();
        openMenu(index, true);
      }
    } else if (event.key === "F10" && popups.length > 0) {
      event.preventDefault();
      closeMenu(false);
      popups[0].title.focus();
    }
  });

  // ---- Boxes and dialogs ------------------------------------------------

  let openDialog = null;

  // A new element with a class and a text, both optional.
  function element(tag, className = "", text = "") {
    const e = document.createElement(tag);
    if (className) e.className = className;
    if (text) e.textContent = text;
    return e;
  }

  function button(text, onClick, type = "button") {
    const b = element("button", "", text);
    b.type = type;
    if (onClick) b.addEventListener("click", onClick);
    return b;
  }

  // A modal dialog with a caption and a close box, its body and its row of
  // buttons (inside `container`, a form when Enter submits). `onClose` runs
  // for the close box; Escape runs `onEscape` when given and is otherwise
  // ignored.
  function makeDialog(caption, onClose, onEscape, body, buttons, container = null) {
    const dialog = element("dialog", "box");
    dialog.setAttribute("aria-label", caption);
    const bar = element("div", "box-caption");
    const close = button("✕", onClose);
    close.className = "box-close";
    close.tabIndex = -1;
    close.setAttribute("aria-label", "閉じる");
    bar.append(element("span", "", caption), close);
    const bodyBox = element("div", "box-body");
    bodyBox.append(...body);
    const buttonRow = element("div", "box-buttons");
    buttonRow.append(...buttons);
    const inner = container || dialog;
    inner.append(bodyBox, buttonRow);
    dialog.prepend(bar);
    if (container) dialog.append(container);
    dialog.addEventListener("cancel", (event) => {
      event.preventDefault();
      if (onEscape) onEscape();
    });
    // A browser may close a dialog on Escape regardless; one that must stay
    // open is shown again.
    dialog.addEventListener("close", () => {
      if (openDialog !== dialog) return;
      if (onEscape) onEscape();
      else dialog.showModal();
    });
    return dialog;
  }

  function showDialog(dialog, focus) {
    closeMenu(false);
    document.body.append(dialog);
    openDialog = dialog;
    dialog.showModal();
    focus.focus();
  }

  function endDialog(dialog) {
    if (openDialog !== dialog) return false;
    openDialog = null;
    dialog.close();
    dialog.remove();
    return true;
  }

  // OK and Cancel, Cancel the default; Escape and the close box cancel.
  page.confirm = (caption, text) =>
    new Promise((resolve) => {
      const finish = (ok) => {
        if (endDialog(dialog)) resolve(ok);
      };
      const message = element("div", "box-message");
      const icon = element("span", "box-icon", "⚠");
      icon.setAttribute("aria-hidden", "true");
      message.append(icon, element("span", "", text));
      const ok = button("OK", () => finish(true));
      const cancel = button("キャンセル", () => finish(false));
      ok.dataset.answer = "ok";
      cancel.dataset.answer = "cancel";
      const cancelled = () => finish(false);
      const dialog = makeDialog(caption, cancelled, cancelled, [message], [ok, cancel]);
      showDialog(dialog, cancel);
    });

  // The about dialog: OK, Enter and the close box end it, Escape does not.
  page.about = (caption, lines) =>
    new Promise((resolve) => {
      const finish = () => {
        if (endDialog(dialog)) resolve();
      };
      const head = element("div", "box-message");
      const icon = element("img");
      icon.src = "tavro.png";
      icon.width = icon.height = 32;
      icon.alt = "";
      const names = element("div");
      names.append(lines[0], element("br"), lines[1]);
      head.append(icon, names);
      const body = [head, element("hr", "etched"), element("div", "", lines[2]), element("div", "", lines[3])];
      const ok = button("OK", finish);
      ok.dataset.answer = "ok";
      const dialog = makeDialog(caption, finish, null, body, [ok]);
      showDialog(dialog, ok);
    });

  // Asks the program (which may be waiting for this very dialog: a direct
  // call, which never waits, is allowed then).
  function nameColumns(text) {
    const buffer = page.programString(text);
    const columns = Module._WebNameColumns(buffer);
    Module._free(buffer);
    return columns;
  }

  // The edit `after` would make of `before`, kept within maxColumns: of the
  // inserted part only the whole characters that fit stay. Returns the text
  // and the cursor position after what was kept.
  function fitName(before, after, maxColumns) {
    if (nameColumns(after) <= maxColumns) return null;
    let head = 0;
    while (head < before.length && head < after.length && before[head] === after[head]) head++;
    let tail = 0;
    while (
      tail < before.length - head &&
      tail < after.length - head &&
      before[before.length - 1 - tail] === after[after.length - 1 - tail]
    ) {
      tail++;
    }
    // never split a surrogate pair
    const isLow = (s, i) => i > 0 && i < s.length && s.charCodeAt(i) >= 0xdc00 && s.charCodeAt(i) <= 0xdfff;
    if (isLow(after, head)) head--;
    if (isLow(after, after.length - tail)) tail--;
    const start = after.slice(0, head);
    const end = after.slice(after.length - tail);
    let kept = "";
    for (const character of after.slice(head, after.length - tail)) {
      if (nameColumns(start + kept + character + end) > maxColumns) break;
      kept += character;
    }
    return { text: start + kept + end, cursor: start.length + kept.length };
  }

  // The name-entry dialog: OK, Enter and the close box end it with the
  // typed text, Escape does not. The field keeps to maxColumns columns.
  page.nameEntry = (caption, banner, prompt, maxColumns) =>
    new Promise((resolve) => {
      const finish = () => {
        if (endDialog(dialog)) resolve(field.value);
      };
      const form = element("form");
      form.addEventListener("submit", (event) => {
        event.preventDefault();
        finish();
      });
      const promptLine = element("label", "", prompt);
      const field = element("input", "name-field");
      field.type = "text";
      field.autocomplete = "off";
      field.spellcheck = false;
      promptLine.htmlFor = field.id = "name-field";
      let accepted = "";
      let composing = false;
      const keepWithin = () => {
        const fitted = fitName(accepted, field.value, maxColumns);
        if (fitted) {
          field.value = fitted.text;
          field.setSelectionRange(fitted.cursor, fitted.cursor);
        }
        accepted = field.value;
      };
      field.addEventListener("compositionstart", () => (composing = true));
      field.addEventListener("compositionend", () => {
        composing = false;
        keepWithin();
      });
      field.addEventListener("input", () => {
        if (!composing) keepWithin();
      });
      const body = [element("div", "banner", banner), promptLine, field];
      const dialog = makeDialog(caption, finish, null, body, [button("OK", null, "submit")], form);
      showDialog(dialog, field);
    });

  // ---- Sound --------------------------------------------------------------

  // Each voice plays at a quarter of full volume, so that the four effects
  // at their loudest together stay within full scale.
  const kVoiceGain = 0.25;
  const kFallbackVoice = 4;

  page.audio = {
    context: null,
    output: null,
    buffers: [],
    voices: [],
    decoded: new Map(),
    muted: false,

    open() {
      const AudioContextClass = window.AudioContext || window.webkitAudioContext;
      if (!AudioContextClass) return false;
      try {
        this.context = new AudioContextClass();
      } catch (e) {
        return false;
      }
      this.output = this.context.createGain();
      this.output.gain.value = kVoiceGain;
      this.output.connect(this.context.destination);
      // Browsers start sound only after the player's first gesture.
      const unlock = () => {
        if (this.context && this.context.state === "suspended") this.context.resume();
      };
      for (const type of ["pointerdown", "keydown", "touchend"]) {
        window.addEventListener(type, unlock, { capture: true });
      }
      return true;
    },

    create(id, channels, sampleRate, bytesPerSample, bytes) {
      if (!this.context) return false;
      const frames = bytes.length / (channels * bytesPerSample);
      let buffer;
      try {
        buffer = this.context.createBuffer(channels, frames, sampleRate);
      } catch (e) {
        return false;
      }
      const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.length);
      for (let c = 0; c < channels; c++) {
        const samples = buffer.getChannelData(c);
        for (let f = 0; f < frames; f++) {
          const at = (f * channels + c) * bytesPerSample;
          samples[f] = bytesPerSample === 1 ? (view.getUint8(at) - 128) / 128 : view.getInt16(at, true) / 32768;
        }
      }
      this.buffers[id] = buffer;
      return true;
    },

    start(voice, buffer) {
      if (this.muted || !this.context || this.context.state !== "running" || !buffer) return;
      this.stop(voice);
      const source = this.context.createBufferSource();
      source.buffer = buffer;
      source.connect(this.output);
      source.start();
      this.voices[voice] = source;
    },

    stop(voice) {
      const source = this.voices[voice];
      if (!source) return;
      this.voices[voice] = null;
      try {
        source.stop();
      } catch (e) {
        // already ended
      }
    },

    play(id) {
      this.start(id, this.buffers[id]);
    },

    // A whole WAVE image on the fallback voice, decoded once per image.
    playImage(key, image) {
      if (this.muted || !this.context || this.context.state !== "running") return;
      const known = this.decoded.get(key);
      if (known) return this.start(kFallbackVoice, known);
      this.context.decodeAudioData(image.slice().buffer).then(
        (buffer) => {
          this.decoded.set(key, buffer);
          this.start(kFallbackVoice, buffer);
        },
        () => {}
      );
    },

    mute(muted) {
      this.muted = muted;
      if (muted) this.voices.forEach((_, voice) => this.stop(voice));
    },

    close() {
      this.voices.forEach((_, voice) => this.stop(voice));
      this.buffers = [];
      this.decoded.clear();
      if (this.context) this.context.close();
      this.context = null;
    },
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

TavroPage.start();
