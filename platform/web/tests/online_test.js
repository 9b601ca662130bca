// The page and the shared ranking, in headless Chromium through
// puppeteer-core, against a real tavro-board that serves the page and
// verifies the replays with the Linux runner: online play turned on in the
// ranking dialog, a ranked game sent, accepted and listed, its replay
// played back alike by the page and the runner; a replay that could not be
// sent waits and goes at the next start; with online play off not one
// connection is made.
//
//   node online_test.js SITE_DIR TAVRO_SIM TAVRO_BOARD
//
// SITE_DIR is the built site (scripts/build-web.sh), TAVRO_SIM and
// TAVRO_BOARD the Linux runner and server. CHROMIUM names another browser
// than /usr/bin/chromium. With SHARED_RANKING_SHOT set, the dialog with its
// rows is saved there as a PNG.
"use strict";

const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const { execFileSync, spawn } = require("node:child_process");
const fs = require("node:fs");
const http = require("node:http");
const os = require("node:os");
const path = require("node:path");
const puppeteer = require("puppeteer-core");
const { serveSite } = require("./site_server.js");

const [siteDir, simProgram, boardProgram] = process.argv.slice(2);
if (!siteDir || !simProgram || !boardProgram) {
  console.error("usage: node online_test.js SITE_DIR TAVRO_SIM TAVRO_BOARD");
  process.exit(2);
}

const kSide = 512;
const kSettingsKey = "TAVRO.INI";
const kAccepted = /^ネットランキングに登録されました: 全期間 (\d+)位 \(スコア (\d+)\)$/;
const kUnreachable = /^ネットランキングのサーバーに接続できません。リプレイは保存され、次回の起動時に送信されます。$/;

const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "tavro-online-"));
let browser;
const boards = new Set();

before(async () => {
  browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    headless: true,
    args: ["--no-sandbox"],
  });
});

after(async () => {
  if (browser) await browser.close();
  for (const board of boards) await stopBoard(board);
  fs.rmSync(scratch, { recursive: true, force: true });
});

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// A tavro-board serving the site, its database in dataDir, on `port` (0: a
// free one, read from what it says on standard error).
function startBoard(dataDir, port = 0) {
  fs.mkdirSync(dataDir, { recursive: true });
  const child = spawn(
    boardProgram,
    ["--site", siteDir, "--listen", `127.0.0.1:${port}`, "--data", dataDir, "--sim", simProgram, "--rate", "0"],
    { stdio: ["ignore", "ignore", "pipe"] },
  );
  const board = { child, log: "", exited: null };
  boards.add(board);
  child.on("exit", (code, signal) => (board.exited = { code, signal }));
  return new Promise((resolve, reject) => {
    child.stderr.setEncoding("utf8");
    child.stderr.on("data", (chunk) => {
      board.log += chunk;
      const match = /listening on (http:\/\/127\.0\.0\.1:\d+)\//.exec(board.log);
      if (match && !board.origin) {
        board.origin = match[1];
        resolve(board);
      }
    });
    child.on("exit", () => {
      if (!board.origin) reject(new Error("tavro-board did not start:\n" + board.log));
    });
  });
}

async function stopBoard(board) {
  boards.delete(board);
  if (board.exited) return;
  const exited = new Promise((resolve) => board.child.on("exit", resolve));
  board.child.kill("SIGTERM");
  await exited;
}

async function getJson(url) {
  const response = await fetch(url);
  assert.equal(response.status, 200, `GET ${url}`);
  return response.json();
}

// Rapid fire off, sound off, an empty ranking; `online` as the [Online]
// section's lines when given.
function settingsFile(waitFlag, online = null) {
  const lines = ["[ENVIRONMENT]", "RapidFlag=0", "SoundFlag=0", `WaitFlag=${waitFlag}`, "", "[SCORE]"];
  for (let n = 1; n <= 10; n++) lines.push(`${n}_Values=0 0 0`, `${n}_Name=[ -- No player -- ]`);
  if (online) lines.push("", "[Online]", ...online);
  return lines.join("\n") + "\n";
}

// A page of `origin` with `settings` stored first, when given.
async function openGame(context, origin, settings = null, query = "") {
  const page = await context.newPage();
  page.errors = [];
  page.on("pageerror", (error) => page.errors.push(error.message));
  await page.setViewport({ width: 1024, height: 800 });
  if (settings !== null) {
    await page.goto(`${origin}/blank.html`);
    await page.evaluate((key, text) => localStorage.setItem(key, text), kSettingsKey, settings);
  }
  await page.goto(`${origin}/index.html${query}`);
  await page.waitForFunction(() => TavroPage.ready && TavroPage.framesRun > 0);
  return page;
}

async function chooseMenu(page, title, item) {
  for (const handle of await page.$$(".menu-title")) {
    if ((await handle.evaluate((e) => e.textContent)) === title) await handle.click();
  }
  const entry = await page.waitForSelector(`xpath///button[@class="menu-item" and contains(., "${item}")]`, {
    visible: true,
  });
  await entry.click();
}

// A game from the menu: shots swept across the sky, then the rocks end it
// and the name typed is ranked.
// Waits for the selector while the page's frames go on: a busy machine only
// makes the game last longer in time, so only frames that stop coming for
// a minute fail the wait.
async function waitWhileFramesRun(page, selector) {
  let frames = -1;
  let still = 0;
  while (!(await page.$(selector))) {
    const now = await page.evaluate(() => TavroPage.framesRun);
    still = now === frames ? still + 1 : 0;
    assert.ok(still < 60, `no frame for a minute while waiting for ${selector}`);
    frames = now;
    await sleep(1000);
  }
}

async function playRankedGame(page, name) {
  await chooseMenu(page, "ゲーム(F)", "開始");
  const box = await (await page.$("#playfield")).boundingBox();
  for (let shot = 0; shot < 150 && !(await page.$("dialog[open]")); shot++) {
    const x = box.x + (((shot * 37) % 480) + 16) * (box.width / kSide);
    const y = box.y + (((shot * 53) % 300) + 100) * (box.height / kSide);
    await page.mouse.click(x, y);
    await sleep(30);
  }
  await waitWhileFramesRun(page, "dialog[open] input.name-field");
  await page.type("dialog[open] input.name-field", name);
  await page.keyboard.press("Enter");
}

const statusLine = (page) => page.$eval("#status", (e) => e.textContent);

async function waitForStatus(page, pattern, timeout = 60000) {
  await page.waitForFunction(
    (source) => new RegExp(source).test(document.getElementById("status").textContent),
    { timeout },
    pattern.source,
  );
  return statusLine(page);
}

// The ranking dialog's rows on the tab shown, as text cells.
const dialogRows = (page) =>
  page.$$eval("#shared-ranking tbody tr", (rows) => rows.map((row) => [...row.cells].map((c) => c.textContent)));

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

// The files under a folder of the page's replays folder.
const replayFiles = (page, folder) =>
  page.evaluate((prefix) => [...TavroPage.replays.files.keys()].filter((k) => k.startsWith(prefix)).sort(), folder + "/");

test("online play turned on in the dialog: a ranked game is accepted, listed, and its replay plays alike", { timeout: 900000 }, async () => {
  const board = await startBoard(path.join(scratch, "board-a"));
  const context = await browser.createBrowserContext();
  const page = await openGame(context, board.origin, settingsFile(1));

  // The dialog from the game menu by keyboard, off at first: its
  // disclosure beside the check box, the page's own server offered, nothing
  // asked yet.
  await page.keyboard.press("F10");
  await page.keyboard.press("Enter");
  await page.keyboard.press("n");
  await page.waitForSelector("#shared-ranking[role=dialog]", { visible: true });
  const opened = await page.evaluate(() => {
    const box = document.getElementById("shared-ranking");
    const check = box.querySelector("input[type=checkbox]");
    return {
      caption: document.getElementById(box.getAttribute("aria-labelledby")).textContent,
      focused: document.activeElement === check,
      label: check.labels[0].textContent,
      disclosure: document.getElementById(check.getAttribute("aria-describedby")).textContent,
      disclosureShown: document.getElementById(check.getAttribute("aria-describedby")).checkVisibility(),
      server: box.querySelector("input[type=text]").value,
      state: box.querySelector(".online-state").textContent,
      tabs: [...box.querySelectorAll("[role=tab]")].map((t) => t.textContent),
    };
  });
  assert.deepEqual(opened, {
    caption: "ネットランキング",
    focused: true,
    label: "ネットランキングに参加する",
    disclosure: opened.disclosure,
    disclosureShown: true,
    server: board.origin,
    state: "ネットランキングに参加すると表示されます。",
    tabs: ["今週", "今月", "全期間"],
  });
  assert.match(opened.disclosure, /参加するまで、通信は一切行いません。$/);
  assert.equal(await page.evaluate(() => TavroPage.online.started), 0);

  // Turned on with the keyboard; the choice is saved at once, the page's
  // own server is in use without being written down, and the empty rankings
  // come.
  await page.keyboard.press("Space");
  await page.waitForFunction(() => /まだ記録がありません/.test(document.querySelector("#shared-ranking .online-state").textContent));
  assert.match(await page.evaluate((key) => localStorage.getItem(key), kSettingsKey), /\[Online\]\nEnabled=1\nServer=\nAutoSend=0\n/);

  // The dialog is modeless: the game goes on beneath it. Escape closes it
  // and the keyboard goes back where it was.
  const frames = await page.evaluate(() => TavroPage.framesRun);
  await page.waitForFunction((f) => TavroPage.framesRun > f + 10, {}, frames);
  await page.keyboard.press("Escape");
  assert.equal(await page.$("#shared-ranking"), null);
  assert.equal(await page.evaluate(() => document.activeElement.textContent), "ゲーム(F)");

  // The game; the program asks before sending and is answered OK.
  await playRankedGame(page, "Online1");
  const ask = await page.waitForSelector("dialog[open][role=alertdialog]");
  assert.match(await ask.evaluate((e) => e.textContent), /ネットランキングのサーバーに送信しますか/);
  await (await page.$('dialog[open] button[data-answer="ok"]')).click();
  const said = await waitForStatus(page, kAccepted);
  const [, place, score] = kAccepted.exec(said);
  assert.equal(place, "1");

  // The server's ranking has it, and the dialog's All tab shows it.
  const ranking = await getJson(`${board.origin}/api/v1/ranking?period=all`);
  assert.equal(ranking.entries.length, 1);
  const entry = ranking.entries[0];
  assert.deepEqual([entry.place, entry.name, entry.score], [1, "Online1", Number(score)]);
  await chooseMenu(page, "ゲーム(F)", "ネットランキング");
  await page.waitForSelector("#shared-ranking", { visible: true });
  // The tabs by keyboard: End goes to the last.
  await page.click("#shared-ranking [role=tab]");
  await page.keyboard.press("End");
  await page.waitForFunction(() => document.querySelectorAll("#shared-ranking tbody tr").length > 0);
  assert.deepEqual(await dialogRows(page), [["1", "Online1", String(entry.score), String(entry.level + 1)]]);
  assert.deepEqual(
    await page.evaluate(() => [document.activeElement.getAttribute("aria-selected"), document.activeElement.textContent]),
    ["true", "全期間"],
  );
  assert.match(await page.$eval("#shared-ranking .online-status", (e) => e.textContent), kAccepted);
  if (process.env.SHARED_RANKING_SHOT) {
    await (await page.$("#shared-ranking")).screenshot({ path: process.env.SHARED_RANKING_SHOT });
  }

  // The replay as the server keeps it, played by the runner to its last
  // picture.
  const replay = await (await fetch(`${board.origin}/api/v1/replays/${entry.replay}`)).text();
  const replayFile = path.join(scratch, "accepted.tavroreplay");
  fs.writeFileSync(replayFile, replay);
  const expectedPng = path.join(scratch, "accepted.png");
  execFileSync(simProgram, ["--verify", replayFile, "--png", expectedPng], { stdio: "ignore" });
  const expected = execFileSync("convert", [expectedPng, "-depth", "8", "rgba:-"]);

  // Watching the row: the page fetches it into its replays folder and
  // plays it in a new tab, at 4x, to the same picture.
  const opening = new Promise((resolve) => browser.once("targetcreated", resolve));
  // Tab goes to the selected row, Enter plays it.
  await page.keyboard.press("Tab");
  assert.equal(await page.evaluate(() => document.activeElement.getAttribute("aria-selected")), "true");
  await page.keyboard.press("Enter");
  const watcher = await (await opening).page();
  watcher.errors = [];
  watcher.on("pageerror", (error) => watcher.errors.push(error.message));
  const url = new URL(watcher.url());
  assert.equal(url.searchParams.get("replay"), `/replays/shared/${entry.replay}.tavroreplay`);
  assert.equal(url.searchParams.get("from-game"), String(entry.game));
  assert.equal(await replayFiles(page, "/replays/shared").then((f) => f.length), 1);
  // (a tab in the background runs no frames)
  await watcher.bringToFront();
  await watcher.waitForFunction(() => typeof TavroPage === "object" && TavroPage.ready && TavroPage.framesRun > 0);
  await watcher.keyboard.press("4");
  await watcher.waitForFunction(() => TavroPage.playbackDone, { timeout: 120000 });
  const shown = await canvasPixels(watcher);
  let differing = 0;
  for (let i = 0; i < shown.length; i++) if (shown[i] !== expected[i]) differing++;
  assert.equal(differing, 0, "bytes of the page's last picture differing from the runner's");
  assert.deepEqual(page.errors, []);
  assert.deepEqual(watcher.errors, []);
  await context.close();
  await stopBoard(board);
});

test("a replay the server did not get waits in the outbox and goes at the next start", { timeout: 900000 }, async () => {
  const dataDir = path.join(scratch, "board-b");
  let board = await startBoard(dataDir);
  const port = new URL(board.origin).port;
  const context = await browser.createBrowserContext();
  let page = await openGame(context, board.origin, settingsFile(0, ["Enabled=1", "Server=", "AutoSend=1"]));
  await page.waitForFunction(() => TavroPage.online.started >= 3 && TavroPage.online.inFlight === 0);

  // The server goes away with the page loaded; the game is sent, unasked,
  // and kept.
  await stopBoard(board);
  await playRankedGame(page, "Waited");
  await waitForStatus(page, kUnreachable);
  const waiting = await replayFiles(page, "/replays/outbox");
  assert.equal(waiting.length, 1, "the outbox");
  const kept = await page.evaluate((p) => new TextDecoder().decode(TavroPage.replays.read(p)), waiting[0]);
  assert.match(kept, /^#@ tavro-replay /);
  await chooseMenu(page, "ゲーム(F)", "ネットランキング");
  await page.waitForSelector("#shared-ranking", { visible: true });
  await page.click("#shared-ranking [role=tab]:nth-child(2)");
  // opened, the dialog asks for the rankings anew: the server is away
  const unreachable = () => document.querySelector("#shared-ranking .online-state").textContent === "サーバーに接続できません。";
  await page.waitForFunction(unreachable);
  // and so it is for a new look
  await page.click("#shared-ranking .box-buttons button:last-child");
  await page.waitForFunction(unreachable);

  // The server is back: the next start sends it and empties the outbox.
  board = await startBoard(dataDir, port);
  await page.reload();
  await page.waitForFunction(() => TavroPage.ready && TavroPage.framesRun > 0);
  const said = await waitForStatus(page, kAccepted);
  assert.equal(kAccepted.exec(said)[1], "1");
  await page.waitForFunction(() => ![...TavroPage.replays.files.keys()].some((k) => k.startsWith("/replays/outbox/")));
  const ranking = await getJson(`${board.origin}/api/v1/ranking?period=week`);
  assert.deepEqual(ranking.entries.map((e) => e.name), ["Waited"]);
  assert.deepEqual(page.errors, []);
  await context.close();
  await stopBoard(board);
});

test("with online play off the server named in the settings sees no connection", { timeout: 900000 }, async () => {
  let connections = 0;
  const counter = http.createServer((request, response) => response.end());
  counter.on("connection", () => connections++);
  await new Promise((resolve) => counter.listen(0, "127.0.0.1", resolve));
  const site = await serveSite(siteDir, { pages: { "/blank.html": "<!doctype html><title>blank</title>" } });
  const origin = `http://127.0.0.1:${site.address().port}`;
  const server = `http://127.0.0.1:${counter.address().port}`;
  try {
    const context = await browser.createBrowserContext();
    const page = await openGame(context, origin, settingsFile(0, ["Enabled=0", `Server=${server}`, "AutoSend=1"]));
    // A ranked game, the dialog opened, its refresh pressed.
    await playRankedGame(page, "Offline");
    await page.waitForFunction(() => !document.querySelector("dialog[open]"));
    await chooseMenu(page, "ゲーム(F)", "ネットランキング");
    await page.waitForSelector("#shared-ranking", { visible: true });
    assert.equal(await page.$eval("#shared-ranking input[type=text]", (e) => e.value), server);
    assert.equal(await page.$eval("#shared-ranking .box-buttons button:last-child", (b) => b.disabled), true);
    // a refresh that reached the program anyway asks nothing either
    await page.evaluate(() => {
      TavroPage.online.actions.push({ kind: 2 });
      TavroPage.postEvent(5);
    });
    const frames = await page.evaluate(() => TavroPage.framesRun);
    await page.waitForFunction((f) => TavroPage.framesRun > f + 50, {}, frames);
    assert.equal(connections, 0, "connections while online play is off");
    assert.equal(await page.evaluate(() => TavroPage.online.started), 0);
    assert.deepEqual(await replayFiles(page, "/replays/outbox"), []);

    // The same listener counts once the player turns it on (the page of
    // another origin is then refused, as the board sends no CORS headers).
    await page.click("#shared-ranking input[type=checkbox]");
    await page.waitForFunction(() => TavroPage.online.started > 0 && TavroPage.online.inFlight === 0);
    assert.ok(connections > 0, "the listener counted nothing");
    assert.deepEqual(page.errors, []);
    await context.close();
  } finally {
    counter.close();
    site.close();
  }
});
