// The program's boxes and dialogs as modal HTML dialogs: the two
// confirmations, the about dialog and the name entry with its width rule.
// Each gives the keyboard back to where it was when it closes.
"use strict";

((page) => {
  let openDialog = null;
  let lastId = 0;

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

  // For the page's other dialogs (online.js, replays.js).
  page.element = element;
  page.button = button;

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

  let focusBefore = null;

  function showDialog(dialog, focus) {
    page.closeMenu(false);
    focusBefore = document.activeElement;
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
    const back = focusBefore;
    focusBefore = null;
    if (back && back !== document.body && back.isConnected) back.focus({ preventScroll: true });
    return true;
  }

  // OK and Cancel, Cancel the default; Escape and the close box cancel. A
  // screen reader announces it as an alert, with its question.
  page.confirm = (caption, text) =>
    new Promise((resolve) => {
      const finish = (ok) => {
        if (endDialog(dialog)) resolve(ok);
      };
      const message = element("div", "box-message");
      const icon = element("span", "box-icon", "⚠");
      icon.setAttribute("aria-hidden", "true");
      const question = element("span", "", text);
      question.id = "box-text-" + ++lastId;
      message.append(icon, question);
      const ok = button("OK", () => finish(true));
      const cancel = button("キャンセル", () => finish(false));
      ok.dataset.answer = "ok";
      cancel.dataset.answer = "cancel";
      const cancelled = () => finish(false);
      const dialog = makeDialog(caption, cancelled, cancelled, [message], [ok, cancel]);
      dialog.setAttribute("role", "alertdialog");
      dialog.setAttribute("aria-describedby", question.id);
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
})(TavroPage);
