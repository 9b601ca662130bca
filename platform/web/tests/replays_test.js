// End-to-end tests of the page's replays in Debian's Chromium and Firefox
// ESR, headless, through puppeteer-core: the sessions kept in IndexedDB as
// the desktop keeps them (the last 20, and those with a game still in the
// ranking), the replays dialog (play in a new tab, download, a file opened
// or dropped), ?replay=PATH&from-game=N and its playback keys.
//
//   node replays_test.js SITE_DIR TAVRO_SIM
//
// SITE_DIR is the built site (scripts/build-web.sh), TAVRO_SIM the Linux
// runner that checks a downloaded replay and draws a replay's last picture.
// CHROMIUM and FIREFOX name other browsers than /usr/bin/chromium and
// /usr/bin/firefox-esr.
"use strict";

const { describe, test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const { execFileSync, spawnSync } = require("node:child_process");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const puppeteer = require("puppeteer-core");
const { serveSite } = require("./site_server.js");

const [siteDir, simProgram] = process.argv.slice(2);
if (!siteDir || !simProgram) {
  console.error("usage: node replays_test.js SITE_DIR TAVRO_SIM");
  process.exit(2);
}
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "tavro-replays-"));
const downloads = path.join(scratch, "downloads");
fs.mkdirSync(downloads);
fs.writeFileSync(path.join(scratch, "blank.html"), "<!doctype html><title>blank</title>");
// A replay from outside the page: one game of 14613 points, in the repo.
const outsideReplay = path.join(__dirname, "../../../fuzz/corpus/board/honest.tavroreplay");

const browsers = [
  {
    name: "chromium",
    launch: () =>
      puppeteer.launch({
        executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
        headless: true,
        args: ["--no-sandbox"],
      }),
  },
  {
    name: "firefox",
    launch: () =>
      puppeteer.launch({
        browser: "firefox",
        executablePath: process.env.FIREFOX || "/usr/bin/firefox-esr",
        headless: true,
        extraPrefsFirefox: {
          "browser.download.folderList": 2,
          "browser.download.dir": downloads,
          "browser.download.useDownloadDir": true,
          "browser.download.always_ask_before_handling_new_types": false,
          "browser.helperApps.neverAsk.saveToDisk": "application/octet-stream",
        },
      }),
  },
];

const kSettingsKey = "TAVRO.INI";
const kTitle = "TAVRO Ver.1.5";
const kKeysHint = "Space: 一時停止/再開  .: 1フレーム  1/2/4: 速度  N: 次のゲーム";

let server;
let browser;
let browserName;
let origin;

before(async () => {
  server = await serveSite(siteDir, { folders: { "/scratch/": scratch } });
  origin = `http://127.0.0.1:${server.address().port}`;
});

after(async () => {
  if (server) server.close();
  fs.rmSync(scratch, { recursive: true, force: true });
});

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const framesRun = (page) => page.evaluate(() => TavroPage.framesRun);

// A settings file, paced, with rows { level, score, name }.
function settingsFile(rows) {
  const lines = ["[ENVIRONMENT]", "RapidFlag=0", "SoundFlag=0", "WaitFlag=1", "", "[SCORE]"];
  for (let n = 1; n <= 10; n++) {
    const row = rows[n - 1] || { level: 0, score: 0, name: "[ -- No player -- ]" };
    lines.push(`${n}_Values=${row.level} ${row.score} 0`, `${n}_Name=${row.name}`);
  }
  return lines.join("\n") + "\n";
}

// A context of its own (its own storage), downloads saved in `downloads`.
async function newContext() {
  if (browserName === "chromium") {
    return browser.createBrowserContext({ downloadBehavior: { policy: "allow", downloadPath: downloads } });
  }
  return browser.createBrowserContext();
}

function watchErrors(page) {
  page.errors = [];
  page.on("pageerror", (error) => page.errors.push(error.message));
  return page;
}

// A page of the context at the game (query), with `settings` stored first
// and `seed` (path -> text) put in the replays store when given.
async function openGame(context, query = "", settings = null, seed = null) {
  const page = watchErrors(await context.newPage());
  await page.setViewport({ width: 1024, height: 800 });
  if (settings !== null || seed !== null) {
    await page.goto(`${origin}/scratch/blank.html`);
    if (settings !== null) {
      await page.evaluate((key, text) => localStorage.setItem(key, text), kSettingsKey, settings);
    }
    if (seed !== null) await page.evaluate(writeStore, seed);
  }
  await page.goto(`${origin}/index.html${query}`);
  await page.waitForFunction(() => TavroPage.ready && TavroPage.framesRun > 0);
  return page;
}

// In the page: the replays store as the page keeps it in IndexedDB.
function openStore() {
  return new Promise((resolve, reject) => {
    const request = indexedDB.open("tavro-replays", 1);
    request.onupgradeneeded = () => request.result.createObjectStore("files");
    request.onsuccess = () => resolve(request.result);
    request.onerror = () => reject(request.error);
  });
}

// In the page: puts files (path -> text) in the store.
async function writeStore(seed) {
  const db = await new Promise((resolve, reject) => {
    const request = indexedDB.open("tavro-replays", 1);
    request.onupgradeneeded = () => request.result.createObjectStore("files");
    request.onsuccess = () => resolve(request.result);
    request.onerror = () => reject(request.error);
  });
  await new Promise((resolve, reject) => {
    const transaction = db.transaction("files", "readwrite");
    let modified = 1;
    for (const [key, text] of Object.entries(seed)) {
      transaction.objectStore("files").put({ data: new TextEncoder().encode(text), modified: modified++ }, key);
    }
    transaction.oncomplete = resolve;
    transaction.onerror = () => reject(transaction.error);
  });
  db.close();
}

// The stored files (path -> text), read from IndexedDB itself.
async function storedReplays(page) {
  return page.evaluate(async (openSource) => {
    const open = new Function(`return (${openSource})`)();
    const db = await open();
    const result = await new Promise((resolve, reject) => {
      const transaction = db.transaction("files", "readonly");
      const store = transaction.objectStore("files");
      const keys = store.getAllKeys();
      const values = store.getAll();
      transaction.oncomplete = () => {
        const files = {};
        keys.result.forEach((key, i) => (files[key] = new TextDecoder().decode(values.result[i].data)));
        resolve(files);
      };
      transaction.onerror = () => reject(transaction.error);
    });
    db.close();
    return result;
  }, openStore.toString());
}

async function chooseMenu(page, title, item) {
  const titles = await page.$$(".menu-title");
  for (const handle of titles) {
    if ((await handle.evaluate((e) => e.textContent)) === title) await handle.click();
  }
  const entry = await page.waitForSelector(`xpath///button[@class="menu-item" and contains(., "${item}")]`, {
    visible: true,
  });
  await entry.click();
}

async function openReplaysDialog(page) {
  await chooseMenu(page, "ゲーム(F)", "リプレイ(P)");
  return page.waitForSelector("dialog[open].replays-box");
}

// The tab the page opens next, once it is at its replay (a browser may
// first show it blank).
async function nextTab(page) {
  const tab = watchErrors(await new Promise((resolve) => page.once("popup", resolve)));
  for (let i = 0; i < 600 && !tab.url().includes("?replay="); i++) await sleep(50);
  return tab;
}

// Waits for a downloaded file of that name, whole.
async function downloaded(name, size) {
  const file = path.join(downloads, name);
  for (let i = 0; i < 600; i++) {
    if (fs.existsSync(file) && fs.statSync(file).size === size) return file;
    await sleep(100);
  }
  assert.fail(`${name} was not downloaded`);
}

function runnerPicture(replayFile) {
  const png = path.join(scratch, path.basename(replayFile) + ".png");
  execFileSync(simProgram, ["--script", replayFile, "--png", png], { stdio: ["ignore", "ignore", "inherit"] });
  return execFileSync("convert", [png, "-depth", "8", "rgba:-"]);
}

async function canvasPixels(page) {
  await page.waitForFunction(() => !TavroPage.drawPending());
  const base64 = await page.evaluate(() => {
    const canvas = document.getElementById("playfield");
    const data = canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data;
    let binary = "";
    for (let i = 0; i < data.length; i += 0x8000) binary += String.fromCharCode.apply(null, data.subarray(i, i + 0x8000));
    return btoa(binary);
  });
  return Buffer.from(base64, "base64");
}

const cases = [];
const both = (name, run) => cases.push([name, run, true]);
const chromiumOnly = (name, run) => cases.push([name, run, false]);

both("a ranked session is kept in IndexedDB, listed after a reload, downloaded, and it verifies", async () => {
  const context = await newContext();
  let page = await openGame(context, "", settingsFile([]));
  await chooseMenu(page, "ゲーム(F)", "開始");
  const box = await (await page.$("#playfield")).boundingBox();
  for (let shot = 0; shot < 40; shot++) {
    await page.mouse.click(box.x + box.width / 2 + ((shot % 5) - 2) * 30, box.y + box.height * 0.55);
    await sleep(30);
  }
  await page.waitForSelector("dialog[open] input.name-field", { timeout: 120000 });
  await page.type("dialog[open] input.name-field", "リプレイ名人");
  await page.keyboard.press("Enter");

  // The record is kept after the game, under its start time and best score.
  const sessionName = /^\/replays\/(\d{8}-\d{6}-best-([1-9]\d*)\.tavroreplay)$/;
  let stored = {};
  for (let i = 0; i < 600 && !Object.keys(stored).some((key) => sessionName.test(key)); i++) {
    await sleep(100);
    stored = await storedReplays(page);
  }
  const key = Object.keys(stored).find((k) => sessionName.test(k));
  assert.ok(key, `no session kept: ${Object.keys(stored)}`);
  const [, name, best] = sessionName.exec(key);
  assert.match(stored[key], /^#@ tavro-replay 1\n/);
  assert.match(stored[key], /\n#@ ranked \d+ \d+ 0 リプレイ名人\n/);

  // A reload lists it; its download is the kept file and verifies.
  await page.close();
  page = await openGame(context);
  await openReplaysDialog(page);
  const rows = await page.$$eval(".replays-table tbody tr", (all) =>
    all.map((row) => [...row.cells].slice(0, 2).map((cell) => cell.textContent)));
  assert.equal(rows.length, 1);
  assert.match(rows[0][0], /^\d{4}\/\d{2}\/\d{2} \d{2}:\d{2}:\d{2}$/);
  assert.equal(rows[0][1], best);
  fs.rmSync(path.join(downloads, name), { force: true });
  await page.click(`.replays-table tr[data-name="${name}"] button[data-action="download"]`);
  const file = await downloaded(name, Buffer.byteLength(stored[key]));
  assert.equal(fs.readFileSync(file, "utf8"), stored[key]);
  const verify = spawnSync(simProgram, ["--verify", file], { encoding: "utf8" });
  assert.equal(verify.status, 0, verify.stdout + verify.stderr);
  assert.match(verify.stdout, /verified: 1 game\(s\), 0 different/);
  assert.deepEqual(page.errors, []);
  await context.close();
});

both("a replay file opened in the page plays in a new tab to the runner's last picture", async () => {
  const context = await newContext();
  const page = await openGame(context, "", settingsFile([]));
  const before = await page.evaluate((key) => localStorage.getItem(key), kSettingsKey);
  await openReplaysDialog(page);
  const picker = await page.$("dialog[open] input.replays-picker");
  const opened = nextTab(page);
  await picker.uploadFile(outsideReplay);
  const tab = await opened;
  assert.equal(new URL(tab.url()).search, "?replay=%2Freplays%2Fopened%2Fhonest.tavroreplay");
  await tab.waitForFunction(() => TavroPage.ready && TavroPage.replays.watching);
  assert.equal(await tab.$eval("#status", (e) => e.textContent), kKeysHint);
  // at four times the speed, to its end
  await tab.keyboard.press("4");
  await tab.waitForFunction((t) => document.title === t, {}, `${kTitle} - replay (4x)`);
  await tab.waitForFunction(() => TavroPage.playbackDone, { timeout: 120000 });
  assert.equal(await tab.title(), `${kTitle} - replay ended`);
  const shown = await canvasPixels(tab);
  const expected = runnerPicture(outsideReplay);
  let differing = 0;
  for (let i = 0; i < shown.length; i++) if (shown[i] !== expected[i]) differing++;
  assert.equal(differing, 0, "bytes differing from the runner's picture");
  // The player's settings were neither read nor written by the replay.
  assert.equal(await tab.evaluate((key) => localStorage.getItem(key), kSettingsKey), before);
  assert.deepEqual([...page.errors, ...tab.errors], []);
  await context.close();
});

// Two games: the second starts at frame 30000, ten minutes in.
function twoGameReplay() {
  const header = fs.readFileSync(outsideReplay, "utf8").split("\n").filter((line) => line.startsWith("#@ ") && !line.startsWith("#@ game"));
  const events = ["0 start"];
  for (let f = 40; f <= 400; f += 10) events.push(`${f} click 256 300`);
  events.push("30000 start");
  for (let f = 30040; f <= 30200; f += 10) events.push(`${f} click 256 300`);
  return [...header, ...events].join("\n") + "\n";
}

both("the playback keys: pause holds the frames, '.' runs exactly one, speeds, 'n' jumps to the next game", async () => {
  const context = await newContext();
  const page = await openGame(context);
  // Dropped on the page, with the new tab blocked (no click came before
  // the drop): the dialog offers a play button, whose click opens it.
  await page.evaluate(() => {
    window.openTab = window.open;
    window.open = () => null;
  });
  await page.evaluate((text) => {
    const transfer = new DataTransfer();
    transfer.items.add(new File([text], "two games.tavroreplay"));
    const target = document.getElementById("playfield");
    for (const type of ["dragenter", "dragover", "drop"]) {
      target.dispatchEvent(new DragEvent(type, { dataTransfer: transfer, bubbles: true, cancelable: true }));
    }
  }, twoGameReplay());
  const again = await page.waitForSelector("dialog[open] .replays-status button[data-action=play-blocked]");
  await page.evaluate(() => (window.open = window.openTab));
  const opened = nextTab(page);
  await again.click();
  const tab = await opened;
  assert.equal(new URL(tab.url()).searchParams.get("replay"), "/replays/opened/two games.tavroreplay");
  await tab.waitForFunction(() => TavroPage.ready && TavroPage.framesRun > 50);
  assert.equal(await tab.title(), `${kTitle} - replay`);

  await tab.keyboard.press(" ");
  await tab.waitForFunction((t) => document.title === t, {}, `${kTitle} - replay (paused)`);
  const held = await framesRun(tab);
  await sleep(400);
  assert.equal(await framesRun(tab), held, "a frame ran while paused");
  for (const step of [1, 2]) {
    await tab.keyboard.press(".");
    await tab.waitForFunction((n) => TavroPage.framesRun >= n, {}, held + step);
    await sleep(300);
    assert.equal(await framesRun(tab), held + step, "'.' ran other than one frame");
  }
  await tab.keyboard.press("2");
  await tab.waitForFunction((t) => document.title === t, {}, `${kTitle} - replay (2x)`);
  await tab.waitForFunction((n) => TavroPage.framesRun > n, {}, held + 10);
  await tab.keyboard.press("1");
  await tab.waitForFunction((t) => document.title === t, {}, `${kTitle} - replay`);
  // the next game starts at frame 30000: ten minutes away at the normal speed
  await tab.keyboard.press("n");
  await tab.waitForFunction(() => TavroPage.framesRun >= 29999, { timeout: 60000 });
  await tab.waitForFunction((t) => document.title === t, {}, `${kTitle} - replay`);
  assert.ok((await framesRun(tab)) < 30200, "the jump went past the second game's start");
  assert.deepEqual([...page.errors, ...tab.errors], []);
  await context.close();
});

both("the last 20 sessions are kept, and older ones with a game still in the ranking", async () => {
  const magic = "#@ tavro-replay 1\n#@ version 1.5.0\n0 start\n";
  const ranked = (score, name) => `${magic}#@ ranked ${score} 2 0 ${name}\n#@ game 1 score ${score} level 2\n`;
  const at = (second, counter = "") => `/replays/20200101-0000${String(second).padStart(2, "0")}${counter}-best-5.tavroreplay`;
  // [path, content, kept]: the session's own new file is newer than all of
  // them, so 19 of these are among the last 20; a foreign file with a
  // session's name counts as none of them.
  const table = [
    [at(0), ranked(500, "Standing"), true],
    [at(1), ranked(500, "Gone from the ranking"), false],
    [at(2), magic, false],
    [at(3), ranked(700, "Also standing"), true],
    [at(4), magic, false],
    [at(5), magic, false],
    [at(6, "-2"), magic, true],
    ...Array.from({ length: 18 }, (_, i) => [at(7 + i), magic, true]),
    [at(30), "not a replay\n", true],
    ["/replays/notes.txt", magic, true],
    ["/replays/outbox/20190101-000000-best-1.tavroreplay", magic, true],
    ["/replays/shared/0123abcd.tavroreplay", magic, true],
  ];
  const seed = Object.fromEntries(table.map(([key, text]) => [key, text]));
  const context = await newContext();
  const page = await openGame(
    context,
    "",
    settingsFile([{ level: 2, score: 700, name: "Also standing" }, { level: 2, score: 500, name: "Standing" }]),
    seed
  );
  // A game stopped is a game ended: the session's record is written, and
  // the folder pruned.
  await chooseMenu(page, "ゲーム(F)", "開始");
  await chooseMenu(page, "ゲーム(F)", "ゲーム中止");
  await page.waitForFunction(() => [...TavroPage.replays.files.keys()].some((k) => /^\/replays\/20[3-9]|^\/replays\/202[1-9]/.test(k)));
  const stored = await storedReplays(page);
  const own = Object.keys(stored).filter((key) => !(key in seed));
  assert.equal(own.length, 1, `the session's own file: ${own}`);
  assert.match(own[0], /^\/replays\/\d{8}-\d{6}-best-0\.tavroreplay$/);
  for (const [key, text, kept] of table) {
    assert.equal(key in stored, kept, `${key} ${kept ? "removed" : "kept"}`);
    if (kept) assert.equal(stored[key], text);
  }
  assert.deepEqual(page.errors, []);
  await context.close();
});

chromiumOnly("without IndexedDB the game goes on, replays last as long as the tab, a bad ?replay= is refused", async () => {
  const context = await newContext();
  let page = watchErrors(await context.newPage());
  await page.evaluateOnNewDocument(() => {
    Object.defineProperty(window, "indexedDB", {
      get() {
        throw new DOMException("denied", "SecurityError");
      },
    });
  });
  await page.goto(`${origin}/index.html`);
  await page.waitForFunction(() => TavroPage.ready && TavroPage.framesRun > 0);
  await chooseMenu(page, "ゲーム(F)", "開始");
  await chooseMenu(page, "ゲーム(F)", "ゲーム中止");
  await page.waitForFunction(() => TavroPage.replays.files.size === 1);
  await openReplaysDialog(page);
  assert.equal(await page.$$eval(".replays-table tbody tr", (all) => all.length), 1);
  assert.ok(await page.$eval(".replays-note", (e) => !e.hidden && /保存できません/.test(e.textContent)));
  await page.click("dialog[open] button[data-answer=close]");
  await page.waitForFunction(() => !document.querySelector("dialog[open]"));
  const frames = await framesRun(page);
  await page.waitForFunction((n) => TavroPage.framesRun > n + 5, {}, frames);
  assert.deepEqual(page.errors, []);
  await page.close();

  page = watchErrors(await context.newPage());
  await page.goto(`${origin}/index.html?replay=${encodeURIComponent("/replays/none.tavroreplay")}`);
  await page.waitForFunction(() => /cannot be played/.test(document.getElementById("status").textContent));
  assert.match(await page.$eval("#status", (e) => e.textContent), /\/replays\/none\.tavroreplay: no such file/);
  assert.deepEqual(page.errors, []);
  await context.close();
});

chromiumOnly("the replays folder's files and folders: what each write, removal and listing does", async () => {
  const context = await newContext();
  const page = await openGame(context);
  // [operation, path, expected]; writes answer 0 written, 1 taken, 2 a
  // folder there, 3 refused.
  const steps = [
    ["create", "/replays/a.tavroreplay", 0],
    ["create", "/replays/a.tavroreplay", 1],
    ["replace", "/replays/a.tavroreplay", 0],
    ["create", "/replays/outbox/b.tavroreplay", 0],
    ["create", "/replays/outbox", 1],
    ["replace", "/replays/outbox", 2],
    ["create", "/replays/a.tavroreplay/c", 3],
    ["list", "/replays", [["a.tavroreplay", false], ["outbox", true]]],
    ["list", "/replays/outbox", [["b.tavroreplay", false]]],
    ["list", "/replays/shared", null],
    ["remove", "/replays/outbox", false],
    ["remove", "/replays/outbox/b.tavroreplay", true],
    ["list", "/replays/outbox", null],
    ["list", "/replays", [["a.tavroreplay", false]]],
    ["read", "/replays/a.tavroreplay", "replace"],
    ["remove", "/replays/a.tavroreplay", true],
    ["list", "/replays", []],
  ];
  const results = await page.evaluate((all) => {
    const r = TavroPage.replays;
    return all.map(([operation, at]) => {
      if (operation === "create" || operation === "replace") return r.write(at, new TextEncoder().encode(operation), operation === "create");
      if (operation === "remove") return r.remove(at);
      if (operation === "read") return new TextDecoder().decode(r.read(at));
      const entries = r.list(at, 100);
      return entries && entries.map((e) => [e.name, e.folder]);
    });
  }, steps);
  assert.deepEqual(results, steps.map((s) => s[2]));
  assert.deepEqual(await storedReplays(page), {});
  await context.close();
});

for (const candidate of browsers) {
  describe(candidate.name, () => {
    before(async () => {
      browserName = candidate.name;
      browser = await candidate.launch();
    });
    after(async () => {
      if (browser) await browser.close();
      browser = null;
    });
    for (const [name, run, inFirefox] of cases) {
      if (candidate.name === "chromium" || inFirefox) test(name, run);
    }
  });
}
