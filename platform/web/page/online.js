// The shared ranking on the page: the program's requests to the ranking
// server by fetch(), each answer kept until the program's loop takes it
// between two steps (network.cpp), and the modeless ranking dialog, drawn
// from the view the program hands over, whose actions wait in a queue for
// the loop as well. Nothing here calls into the program: it may be waiting
// in a box at any time.
"use strict";

((page) => {
  // The page event that tells the loop an action waits (kPageEventOnline).
  const kEventOnline = 5;
  // The kinds of actions (OnlineAction in web_online.h).
  const kActionSettings = 1;
  const kActionRefresh = 2;
  const kActionWatch = 3;

  const online = {
    // requests started and not answered yet, and all started (for tests)
    inFlight: 0,
    started: 0,
  };
  page.online = online;

  // ---- Requests -----------------------------------------------------------

  const answers = [];  // {id, status, body: Uint8Array}

  // Starts a GET or POST (body: the bytes of a replay file, sent as UTF-8
  // text); its answer is kept for takeAnswer, with status 0 when none came
  // within timeoutSeconds or the server could not be reached. False when
  // the address is not one fetch() can ask.
  online.start = (id, method, url, body, timeoutSeconds) => {
    let address;
    try {
      address = new URL(url);
    } catch (e) {
      return false;
    }
    if (address.protocol !== "http:" && address.protocol !== "https:") return false;
    const controller = new AbortController();
    const timer = setTimeout(() => controller.abort(), timeoutSeconds * 1000);
    const init = { method, signal: controller.signal, cache: "no-store", redirect: "follow" };
    if (method === "POST") {
      init.body = body;
      init.headers = { "Content-Type": "text/plain;charset=utf-8" };
    }
    const finish = (status, bytes) => {
      clearTimeout(timer);
      online.inFlight--;
      answers.push({ id, status, body: bytes });
    };
    online.inFlight++;
    online.started++;
    fetch(address, init)
      .then(async (response) => finish(response.status, new Uint8Array(await response.arrayBuffer())))
      .catch(() => finish(0, new Uint8Array(0)));
    return true;
  };

  online.takeAnswer = () => answers.shift() || null;

  // ---- What the program shows ---------------------------------------------

  online.showStatus = (text) => {
    page.showMessage(text);
  };

  // A replay of the shared ranking, fetched and kept in the replays folder,
  // opens in a new tab from the game chosen. A browser that blocks the tab
  // (it came too long after the click) gets a link in the dialog instead.
  let blockedReplay = null;
  online.watchReplay = (path, fromGame) => {
    const url = new URL("index.html", location.href);
    url.search = `?replay=${encodeURIComponent(path)}&from-game=${fromGame}`;
    online.lastReplayUrl = url.href;
    const tab = window.open(url.href, "_blank");
    blockedReplay = tab ? null : url.href;
    if (dialog) render();
  };

  // ---- The dialog ---------------------------------------------------------

  let dialog = null;  // its parts while it is open
  let view = null;
  let period = 0;
  const selectedRow = [-1, -1, -1];
  let focusBefore = null;
  let lastId = 0;

  const { element, button } = page;

  function queueAction(action) {
    online.actions.push(action);
    page.postEvent(kEventOnline);
  }
  online.actions = [];
  online.takeAction = () => online.actions.shift() || null;

  // The player's choices as they stand in the dialog. The address shown is
  // the one in use; left as the page's own default, none is chosen.
  function sendSettings() {
    const typed = dialog.server.value.trim();
    const server = !view.chosenServer && typed === view.server ? "" : typed;
    dialog.serverEdited = false;
    queueAction({
      kind: kActionSettings,
      enabled: dialog.enabled.checked,
      autoSend: dialog.autoSend.checked,
      server,
    });
  }

  function watchSelected() {
    const row = selectedRow[period];
    const rows = view.tables[period].rows;
    if (!view.enabled || view.watching || row < 0 || row >= rows.length || !rows[row].replay) return;
    queueAction({ kind: kActionWatch, period, row });
  }

  function selectTab(index, focus) {
    period = index;
    render();
    if (focus) dialog.tabs[index].focus();
  }

  function selectRow(index, focus) {
    selectedRow[period] = index;
    render();
    if (focus && dialog.rows[index]) dialog.rows[index].focus();
  }

  function build(texts) {
    const id = "online-" + ++lastId;
    const box = element("div", "box online-box");
    box.id = "shared-ranking";
    box.setAttribute("role", "dialog");
    box.setAttribute("aria-modal", "false");
    box.setAttribute("aria-labelledby", id + "-caption");

    const bar = element("div", "box-caption");
    const caption = element("span", "", texts.caption);
    caption.id = id + "-caption";
    const close = button("✕", closeDialog);
    close.className = "box-close";
    close.tabIndex = -1;
    close.setAttribute("aria-label", "閉じる");
    bar.append(caption, close);
    dragBy(bar, box);

    const body = element("div", "online-body");
    const enabled = element("input");
    enabled.type = "checkbox";
    enabled.id = id + "-enabled";
    const disclosure = element("p", "online-disclosure", texts.disclosure);
    disclosure.id = id + "-disclosure";
    enabled.setAttribute("aria-describedby", disclosure.id);
    const enabledLine = element("div", "online-check");
    const enabledLabel = element("label", "", texts.enable);
    enabledLabel.htmlFor = enabled.id;
    enabledLine.append(enabled, enabledLabel);

    const serverLine = element("div", "online-server");
    const server = element("input");
    server.type = "text";
    server.id = id + "-server";
    server.autocomplete = "off";
    server.spellcheck = false;
    server.inputMode = "url";
    const serverLabel = element("label", "", texts.server);
    serverLabel.htmlFor = server.id;
    serverLine.append(serverLabel, server);

    const autoSend = element("input");
    autoSend.type = "checkbox";
    autoSend.id = id + "-auto-send";
    const autoSendLine = element("div", "online-check");
    const autoSendLabel = element("label", "", texts.autoSend);
    autoSendLabel.htmlFor = autoSend.id;
    autoSendLine.append(autoSend, autoSendLabel);

    const tabList = element("div", "online-tabs");
    tabList.setAttribute("role", "tablist");
    tabList.setAttribute("aria-label", texts.caption);
    const panel = element("div", "online-panel");
    panel.id = id + "-panel";
    panel.setAttribute("role", "tabpanel");
    const tabs = texts.periods.map((title, index) => {
      const tab = button(title, () => selectTab(index, true));
      tab.id = `${id}-tab-${index}`;
      tab.className = "online-tab";
      tab.setAttribute("role", "tab");
      tab.setAttribute("aria-controls", panel.id);
      tab.addEventListener("keydown", (event) => {
        const last = texts.periods.length - 1;
        const to = { ArrowRight: index === last ? 0 : index + 1, ArrowLeft: index === 0 ? last : index - 1, Home: 0, End: last }[event.key];
        if (to === undefined) return;
        event.preventDefault();
        selectTab(to, true);
      });
      return tab;
    });
    tabList.append(...tabs);

    const table = element("table", "online-table");
    table.setAttribute("role", "grid");
    const head = element("thead");
    const headRow = element("tr");
    // place, name, score, level: the numbers to the right
    texts.columns.forEach((title, index) => headRow.append(element("th", index === 1 ? "" : "number", title)));
    head.append(headRow);
    const rowsBody = element("tbody");
    table.append(head, rowsBody);
    const state = element("p", "online-state");
    panel.append(table, state);

    const watch = button(texts.watch, watchSelected);
    const refresh = button(texts.refresh, () => queueAction({ kind: kActionRefresh }));
    const buttons = element("div", "box-buttons");
    buttons.append(watch, refresh);
    const status = element("div", "online-status");

    body.append(enabledLine, disclosure, serverLine, autoSendLine, tabList, panel, buttons, status);
    box.append(bar, body);

    enabled.addEventListener("change", sendSettings);
    autoSend.addEventListener("change", sendSettings);
    server.addEventListener("input", () => (dialog.serverEdited = true));
    server.addEventListener("change", () => dialog.serverEdited && sendSettings());
    server.addEventListener("keydown", (event) => {
      if (event.key !== "Enter") return;
      event.preventDefault();
      if (dialog.serverEdited) sendSettings();
    });
    box.addEventListener("keydown", (event) => {
      if (event.key === "Escape") {
        event.preventDefault();
        event.stopPropagation();
        closeDialog();
      }
    });
    rowsBody.addEventListener("keydown", (event) => {
      const count = dialog.rows.length;
      const at = selectedRow[period];
      const to = { ArrowDown: Math.min(count - 1, at + 1), ArrowUp: Math.max(0, at - 1), Home: 0, End: count - 1 }[event.key];
      if (event.key === "Enter" || event.key === " ") {
        event.preventDefault();
        watchSelected();
      } else if (to !== undefined && count > 0) {
        event.preventDefault();
        selectRow(to, true);
      }
    });
    return { box, enabled, server, autoSend, tabs, panel, table, rowsBody, state, watch, refresh, status, rows: [], serverEdited: false };
  }

  // The caption moves the dialog, as a window's title bar does.
  function dragBy(handle, box) {
    handle.addEventListener("pointerdown", (event) => {
      if (event.button !== 0 || event.target.closest("button")) return;
      event.preventDefault();
      const start = box.getBoundingClientRect();
      const dx = event.clientX - start.left;
      const dy = event.clientY - start.top;
      handle.setPointerCapture(event.pointerId);
      const move = (e) => {
        const left = Math.min(Math.max(0, e.clientX - dx), innerWidth - 40);
        const top = Math.min(Math.max(0, e.clientY - dy), innerHeight - 24);
        box.style.left = left + "px";
        box.style.top = top + "px";
        box.style.right = "auto";
      };
      const end = () => {
        handle.removeEventListener("pointermove", move);
        handle.removeEventListener("pointerup", end);
        handle.removeEventListener("pointercancel", end);
      };
      handle.addEventListener("pointermove", move);
      handle.addEventListener("pointerup", end);
      handle.addEventListener("pointercancel", end);
    });
  }

  function render() {
    const d = dialog;
    d.enabled.checked = view.enabled;
    d.autoSend.checked = view.autoSend;
    if (!d.serverEdited) d.server.value = view.server;
    d.tabs.forEach((tab, index) => {
      const chosen = index === period;
      tab.setAttribute("aria-selected", chosen ? "true" : "false");
      tab.tabIndex = chosen ? 0 : -1;
    });
    d.panel.setAttribute("aria-labelledby", d.tabs[period].id);
    const table = view.tables[period];
    const rows = table.rows;
    if (selectedRow[period] >= rows.length) selectedRow[period] = rows.length - 1;
    if (selectedRow[period] < 0 && rows.length > 0) selectedRow[period] = 0;
    const focusedRow = d.rows.indexOf(document.activeElement);
    d.rows = rows.map((row, index) => {
      const tr = element("tr");
      const chosen = index === selectedRow[period];
      tr.setAttribute("aria-selected", chosen ? "true" : "false");
      tr.tabIndex = chosen ? 0 : -1;
      for (const [value, align] of [[row.place, "number"], [row.name, ""], [row.score, "number"], [row.level, "number"]]) {
        tr.append(element("td", align, String(value)));
      }
      tr.addEventListener("click", () => selectRow(index, true));
      tr.addEventListener("dblclick", () => {
        selectRow(index, true);
        watchSelected();
      });
      return tr;
    });
    d.rowsBody.replaceChildren(...d.rows);
    if (focusedRow >= 0 && d.rows[selectedRow[period]]) d.rows[selectedRow[period]].focus();
    d.table.hidden = table.stateText !== "";
    d.state.hidden = table.stateText === "";
    d.state.textContent = table.stateText;
    const row = rows[selectedRow[period]];
    d.watch.disabled = !view.enabled || view.watching || !row || !row.replay;
    d.refresh.disabled = !view.enabled;
    d.status.replaceChildren(view.status);
    if (blockedReplay) {
      const link = element("a", "", d.watch.textContent);
      link.href = blockedReplay;
      link.target = "_blank";
      link.addEventListener("click", () => {
        blockedReplay = null;
        render();
      });
      d.status.append(" ", link);
    }
  }

  online.showDialog = (newView) => {
    view = newView;
    if (!dialog) {
      page.closeMenu(false);
      focusBefore = document.activeElement;
      dialog = build(view.texts);
      document.body.append(dialog.box);
      render();
      dialog.enabled.focus();
      return;
    }
    render();
    dialog.box.querySelector("input, button:not(.box-close)").focus();
  };

  online.dialogOpen = () => dialog !== null;

  online.updateDialog = (newView) => {
    view = newView;
    if (dialog) render();
  };

  function closeDialog() {
    if (!dialog) return;
    const inside = dialog.box.contains(document.activeElement);
    if (dialog.serverEdited) sendSettings();
    dialog.box.remove();
    dialog = null;
    const back = focusBefore;
    focusBefore = null;
    if (inside && back && back !== document.body && back.isConnected) back.focus({ preventScroll: true });
  }
  online.closeDialog = closeDialog;
})(TavroPage);
