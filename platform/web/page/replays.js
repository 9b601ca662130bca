// The replays folder of the page (files/web_files.cpp reads, writes, lists
// and removes its files through TavroPage.replays), kept in IndexedDB, and
// the replays dialog: the kept sessions played in a new tab or downloaded,
// and a replay file opened (picked or dropped on the page) played the same
// way. A tab opened with ?replay=PATH&from-game=N plays that file, and takes
// the playback keys.
"use strict";

((page) => {
  const kRoot = "/replays";
  const kOpened = kRoot + "/opened";
  // The folders of replays from elsewhere keep their newest few.
  const kKeptElsewhere = 10;
  const kPruned = [kOpened, kRoot + "/shared"];
  const kDatabase = "tavro-replays";
  const kStoreName = "files";
  // A tab whose browser never answers the opening of the store starts
  // without it.
  const kOpenWaitMs = 5000;
  const kMaxFileBytes = 16 << 20;
  const kExtension = ".tavroreplay";
  const kMagic = "#@ tavro-replay ";

  // ---- The store --------------------------------------------------------

  // path -> { data: Uint8Array, modified: milliseconds since 1970 }
  const files = new Map();
  let database = null;
  // The browser refused to keep something: the folder then lasts as long
  // as the tab.
  let notKept = false;
  // Other tabs are told of each change, so that their folders stay the same.
  const channel = typeof BroadcastChannel === "function" ? new BroadcastChannel(kDatabase) : null;

  const replays = {
    files,
    // ?replay=PATH&from-game=N: the file this tab plays, or null
    requested: null,
    // the playback keys are taken while a replay plays
    watching: false,
  };

  function storeFailed() {
    if (notKept) return;
    notKept = true;
    refreshDialog();
  }

  // Each change is a transaction of its own, begun at once: a tab opened
  // right after it reads the store only once the change is in.
  function persist(path, entry) {
    if (!database) return;
    try {
      const transaction = database.transaction(kStoreName, "readwrite");
      const store = transaction.objectStore(kStoreName);
      if (entry) store.put(entry, path);
      else store.delete(path);
      transaction.onabort = storeFailed;
    } catch (e) {
      storeFailed();
    }
  }

  function change(path, entry) {
    if (entry) files.set(path, entry);
    else files.delete(path);
    persist(path, entry);
    if (channel) channel.postMessage({ path, entry: entry || null });
    refreshDialog();
  }

  if (channel) {
    channel.onmessage = (event) => {
      const { path, entry } = event.data;
      if (entry) files.set(path, entry);
      else files.delete(path);
      refreshDialog();
    };
  }

  replays.isFolder = (path) => {
    if (path === kRoot) return true;
    const prefix = path + "/";
    for (const key of files.keys()) if (key.startsWith(prefix)) return true;
    return false;
  };

  replays.read = (path) => {
    const entry = files.get(path);
    return entry ? entry.data : null;
  };

  // The codes of web_files.cpp's ReplayFileWrite: 0 written, 1 the path is
  // taken (createNew), 2 a folder stands there, 3 refused.
  replays.write = (path, data, createNew) => {
    if (replays.isFolder(path)) return createNew ? 1 : 2;
    // no file may stand where the path needs a folder
    for (let at = path.indexOf("/", kRoot.length + 1); at > 0; at = path.indexOf("/", at + 1)) {
      if (files.has(path.slice(0, at))) return 3;
    }
    if (createNew && files.has(path)) return 1;
    change(path, { data, modified: Date.now() });
    return 0;
  };

  replays.remove = (path) => {
    if (!files.has(path)) return false;
    change(path, null);
    return true;
  };

  // The folder's files and folders, at most `most`, or null when there is
  // no such folder.
  replays.list = (folder, most) => {
    if (!replays.isFolder(folder)) return null;
    const prefix = folder + "/";
    const seen = new Set();
    const entries = [];
    for (const key of files.keys()) {
      if (entries.length >= most) break;
      if (!key.startsWith(prefix)) continue;
      const rest = key.slice(prefix.length);
      const slash = rest.indexOf("/");
      const name = slash < 0 ? rest : rest.slice(0, slash);
      if (seen.has(name)) continue;
      seen.add(name);
      entries.push({ name, folder: slash >= 0 });
    }
    return entries;
  };

  replays.kept = () => database !== null && !notKept;

  function openDatabase() {
    return new Promise((resolve) => {
      let request;
      try {
        request = indexedDB.open(kDatabase, 1);
      } catch (e) {
        resolve(null);
        return;
      }
      const timer = setTimeout(() => resolve(null), kOpenWaitMs);
      request.onupgradeneeded = () => request.result.createObjectStore(kStoreName);
      request.onsuccess = () => {
        clearTimeout(timer);
        resolve(request.result);
      };
      request.onerror = () => {
        clearTimeout(timer);
        resolve(null);
      };
      request.onblocked = () => {
        clearTimeout(timer);
        resolve(null);
      };
    });
  }

  function readAll(db) {
    return new Promise((resolve, reject) => {
      const transaction = db.transaction(kStoreName, "readonly");
      const store = transaction.objectStore(kStoreName);
      const keys = store.getAllKeys();
      const values = store.getAll();
      transaction.oncomplete = () => resolve(keys.result.map((key, i) => [key, values.result[i]]));
      transaction.onabort = () => reject(transaction.error);
    });
  }

  // Loads the whole store before the program starts; a browser that keeps
  // nothing leaves the folder empty and the game goes on.
  replays.load = async () => {
    const parameters = new URLSearchParams(location.search);
    const path = parameters.get("replay");
    if (path !== null) {
      const fromGame = Number.parseInt(parameters.get("from-game") || "0", 10);
      replays.requested = { path, fromGame: Number.isFinite(fromGame) && fromGame > 0 ? fromGame : 0 };
    }
    try {
      database = typeof indexedDB === "object" && indexedDB ? await openDatabase() : null;
      if (database) {
        for (const [key, value] of await readAll(database)) {
          if (typeof key === "string" && value && value.data instanceof Uint8Array) files.set(key, value);
        }
      }
    } catch (e) {
      database = null;
    }
    if (!database) notKept = true;
    // The replays from elsewhere keep the newest few; the file this tab
    // plays stays.
    for (const folder of kPruned) {
      const entries = [...files].filter(([key]) => key.startsWith(folder + "/") && !key.slice(folder.length + 1).includes("/"));
      entries.sort((a, b) => b[1].modified - a[1].modified);
      for (const [key] of entries.slice(kKeptElsewhere)) {
        if (!replays.requested || replays.requested.path !== key) change(key, null);
      }
    }
  };

  // ---- Replays by name --------------------------------------------------

  // "20261207-134501-2-best-1234.tavroreplay" as its start time, counter
  // and best score; null for a name the program does not make.
  function sessionOf(name) {
    const match = /^(\d{4})(\d{2})(\d{2})-(\d{2})(\d{2})(\d{2})(?:-([1-9]\d?))?-best-(0|[1-9]\d{0,9})\.tavroreplay$/.exec(name);
    if (!match || match[7] === "1") return null;
    const [, year, month, day, hour, minute, second, counter, best] = match;
    return {
      when: `${year}/${month}/${day} ${hour}:${minute}:${second}` + (counter ? ` (${counter})` : ""),
      order: `${name.slice(0, 15)}-${(counter || "1").padStart(3, "0")}`,
      best: Number(best),
    };
  }

  // The sessions kept in the folder, newest first.
  function keptSessions() {
    const sessions = [];
    for (const entry of replays.list(kRoot, Infinity)) {
      const session = !entry.folder && sessionOf(entry.name);
      if (session) sessions.push({ ...session, name: entry.name, path: `${kRoot}/${entry.name}` });
    }
    return sessions.sort((a, b) => (a.order < b.order ? 1 : a.order > b.order ? -1 : 0));
  }

  // The page that plays the file at path, from game fromGame (0: the first).
  function replayUrl(path, fromGame = 0) {
    const url = new URL("index.html", location.href);
    url.search = `?replay=${encodeURIComponent(path)}` + (fromGame > 0 ? `&from-game=${fromGame}` : "");
    return url.href;
  }

  // Opens the replay in a new tab. A browser that blocks it (no click of
  // the player's came just before: a file dropped or picked) gets a play
  // button in the dialog instead.
  function play(path) {
    replays.lastUrl = replayUrl(path);
    const tab = window.open(replays.lastUrl, "_blank");
    if (tab) {
      status("");
      return;
    }
    showDialog();
    if (!dialog) return;
    const again = button(kPlay, () => play(path));
    again.dataset.action = "play-blocked";
    dialog.status.replaceChildren(kBlocked + " ", again);
    again.focus();
  }

  function download(name) {
    const data = replays.read(`${kRoot}/${name}`);
    if (!data) return;
    const url = URL.createObjectURL(new Blob([data], { type: "application/octet-stream" }));
    const link = document.createElement("a");
    link.href = url;
    link.download = name;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 60000);
  }

  // A replay file from the player's computer: kept under /replays/opened
  // and played in a new tab.
  async function openFile(file) {
    if (!file) return;
    if (file.size > kMaxFileBytes) {
      status(kTooLarge);
      return;
    }
    let data;
    try {
      data = new Uint8Array(await file.arrayBuffer());
    } catch (e) {
      status(kUnreadable);
      return;
    }
    if (new TextDecoder().decode(data.subarray(0, kMagic.length)) !== kMagic) {
      status(kNotReplay);
      return;
    }
    // a plain name of its own: no folders, nothing hidden or empty
    let name = file.name.replace(/[\u0000-\u001f\u007f/\\]/g, "_").replace(/^\.+/, "");
    if (!name) name = "replay" + kExtension;
    const path = `${kOpened}/${name}`;
    if (replays.write(path, data, false) !== 0) {
      status(kUnreadable);
      return;
    }
    play(path);
  }
  replays.openFile = openFile;

  // ---- The dialog -------------------------------------------------------

  const kMenuText = "リプレイ(&P)...";
  const kMenuHint = "保存されたリプレイを一覧表示します\nリプレイ";
  const kCaption = "リプレイ";
  const kColumns = ["開始日時", "最高スコア", ""];
  const kPlay = "再生";
  const kDownload = "ダウンロード";
  const kOpenFile = "ファイルを開く...";
  const kClose = "閉じる";
  const kNone = "保存されたリプレイはありません。";
  const kDropHint = "リプレイファイル (.tavroreplay) をこのページにドロップしても再生できます。";
  const kNotKept = "このブラウザーではリプレイを保存できません。このタブを閉じると消えます。";
  const kBlocked = "新しいタブを開けませんでした。「再生」を押してください。";
  const kTooLarge = "16 MiB を超えるファイルは再生できません。";
  const kNotReplay = "TAVRO のリプレイファイルではありません。";
  const kUnreadable = "ファイルを読めませんでした。";

  let dialog = null;  // its parts while it is open
  let focusBefore = null;

  const { element, button } = page;

  function status(text) {
    if (dialog) dialog.status.textContent = text;
    else if (text) page.showMessage(text);
  }

  function renderList() {
    const sessions = keptSessions();
    const body = dialog.list;
    if (sessions.length === 0) {
      body.replaceChildren(element("p", "replays-none", kNone));
      return;
    }
    const table = element("table", "replays-table");
    const head = element("tr");
    for (const title of kColumns) head.append(element("th", "", title));
    table.append(element("thead"));
    table.tHead.append(head);
    const rows = element("tbody");
    for (const session of sessions) {
      const row = element("tr");
      row.dataset.name = session.name;
      const actions = element("td", "replays-actions");
      const playButton = button(kPlay, () => play(session.path));
      playButton.dataset.action = "play";
      const downloadButton = button(kDownload, () => download(session.name));
      downloadButton.dataset.action = "download";
      actions.append(playButton, downloadButton);
      row.append(element("td", "", session.when), element("td", "number", String(session.best)), actions);
      rows.append(row);
    }
    table.append(rows);
    body.replaceChildren(table);
  }

  function refreshDialog() {
    if (!dialog) return;
    renderList();
    dialog.notKept.hidden = replays.kept();
  }

  function closeDialog() {
    if (!dialog) return;
    const { box } = dialog;
    dialog = null;
    box.close();
    box.remove();
    page.pageDialogOpen = false;
    const back = focusBefore;
    focusBefore = null;
    if (back && back !== document.body && back.isConnected) back.focus({ preventScroll: true });
    page.pump();
  }

  // Modal, as the program's boxes: the frames wait while it is open.
  function showDialog() {
    if (dialog || page.programEnded || document.querySelector("dialog[open]")) return;
    page.closeMenu(false);
    focusBefore = document.activeElement;
    const box = element("dialog", "box replays-box");
    box.setAttribute("aria-label", kCaption);
    const bar = element("div", "box-caption");
    const close = button("✕", closeDialog);
    close.className = "box-close";
    close.tabIndex = -1;
    close.setAttribute("aria-label", kClose);
    bar.append(element("span", "", kCaption), close);
    const list = element("div", "replays-list");
    const notKeptLine = element("p", "replays-note", kNotKept);
    const hint = element("p", "replays-note", kDropHint);
    const picker = element("input");
    picker.type = "file";
    picker.accept = kExtension;
    picker.hidden = true;
    picker.className = "replays-picker";
    picker.addEventListener("change", () => {
      const file = picker.files[0];
      picker.value = "";
      openFile(file);
    });
    const statusLine = element("p", "replays-status");
    statusLine.setAttribute("role", "status");
    const openButton = button(kOpenFile, () => picker.click());
    openButton.dataset.action = "open";
    const closeButton = button(kClose, closeDialog);
    closeButton.dataset.answer = "close";
    const buttons = element("div", "box-buttons");
    buttons.append(openButton, closeButton);
    const body = element("div", "replays-body");
    body.append(list, notKeptLine, hint, statusLine, picker);
    box.append(bar, body, buttons);
    box.addEventListener("cancel", (event) => {
      event.preventDefault();
      closeDialog();
    });
    box.addEventListener("close", () => {
      if (dialog && dialog.box === box) closeDialog();
    });
    dialog = { box, list, notKept: notKeptLine, status: statusLine };
    refreshDialog();
    page.pageDialogOpen = true;
    document.body.append(box);
    box.showModal();
    (list.querySelector("button") || openButton).focus();
  }
  replays.showDialog = showDialog;

  // The page's own item of the game menu, after the shared ranking's.
  page.addPageItem(0, 40010, kMenuText, kMenuHint, showDialog);

  // A replay file dropped anywhere on the page.
  const carriesFiles = (event) => event.dataTransfer && [...event.dataTransfer.types].includes("Files");
  document.addEventListener("dragover", (event) => {
    if (!carriesFiles(event)) return;
    event.preventDefault();
    event.dataTransfer.dropEffect = "copy";
  });
  document.addEventListener("drop", (event) => {
    if (!carriesFiles(event)) return;
    event.preventDefault();
    openFile(event.dataTransfer.files[0]);
  });

  // ---- Playback keys ----------------------------------------------------

  const kPlaybackKeys = new Set([" ", ".", "1", "2", "4", "n", "N"]);
  document.addEventListener("keydown", (event) => {
    if (!replays.watching || page.programEnded || page.menuOpen) return;
    if (event.altKey || event.ctrlKey || event.metaKey || !kPlaybackKeys.has(event.key)) return;
    if (document.querySelector("dialog[open]") || event.target.closest?.("input, textarea, .online-box")) return;
    event.preventDefault();
    page.queueKey(event.key.codePointAt(0));
  });

  page.replays = replays;
})(TavroPage);
