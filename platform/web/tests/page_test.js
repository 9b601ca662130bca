// End-to-end tests of the browser program: Debian's Chromium, headless,
// driven through puppeteer-core against the site served on localhost.
//
//   node page_test.js SITE_DIR TAVRO_SIM
//
// SITE_DIR is the built site (scripts/build-web.sh), TAVRO_SIM the Linux
// runner the scripted session is compared with.
"use strict";

const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const { execFileSync } = require("node:child_process");
const fs = require("node:fs");
const http = require("node:http");
const os = require("node:os");
const path = require("node:path");
const puppeteer = require("puppeteer-core");

const [siteDir, simProgram] = process.argv.slice(2);
if (!siteDir || !simProgram) {
  console.error("usage: node page_test.js SITE_DIR TAVRO_SIM");
  process.exit(2);
}
const chromium = process.env.CHROMIUM || "/usr/bin/chromium";
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "tavro-web-"));
// A page of the site's origin that does not start the game: for looking at
// the stored settings alone.
fs.writeFileSync(path.join(scratch, "blank.html"), "<!doctype html><title>blank</title>");

const kSide = 512;
const kSettingsKey = "TAVRO.INI";
const kContentTypes = {
  ".html": "text/html; charset=utf-8",
  ".js": "text/javascript; charset=utf-8",
  ".wasm": "application/wasm",
  ".png": "image/png",
  ".txt": "text/plain; charset=utf-8",
};

// The site at /, and the scratch folder (the scripts) at /scratch/.
function serve() {
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, "http://localhost").pathname);
    const file = name.startsWith("/scratch/")
      ? path.join(scratch, path.basename(name))
      : path.join(siteDir, path.normalize(name === "/" ? "/index.html" : name));
    fs.readFile(file, (error, data) => {
      if (error) {
        response.writeHead(404);
        response.end();
        return;
      }
      response.writeHead(200, {
        "Content-Type": kContentTypes[path.extname(file)] || "application/octet-stream",
      });
      response.end(data);
    });
  });
  return new Promise((resolve) => server.listen(0, "127.0.0.1", () => resolve(server)));
}

let server;
let browser;
let origin;

before(async () => {
  server = await serve();
  origin = `http://127.0.0.1:${server.address().port}`;
  browser = await puppeteer.launch({
    executablePath: chromium,
    headless: true,
    args: ["--no-sandbox"],
  });
});

after(async () => {
  if (browser) await browser.close();
  if (server) server.close();
  fs.rmSync(scratch, { recursive: true, force: true });
});

// A fresh page (its own storage: each test opens its own context) at the
// game, with `settings` as the stored settings file when given.
async function openGame(query = "", settings = null, context = null) {
  const ownContext = context || (await browser.createBrowserContext());
  const page = await ownContext.newPage();
  page.errors = [];
  page.on("pageerror", (error) => page.errors.push(error.message));
  await page.setViewport({ width: 1024, height: 800 });
  if (settings !== null) {
    await page.goto(`${origin}/scratch/blank.html`);
    await page.evaluate((key, text) => localStorage.setItem(key, text), kSettingsKey, settings);
  }
  await page.goto(`${origin}/index.html${query}`);
  await page.waitForFunction(() => TavroPage.ready && TavroPage.framesRun > 0);
  return page;
}

// A settings file with the given WaitFlag, ranking rows and SoundFlag.
function settingsFile(waitFlag, rows, soundFlag = 0) {
  const lines = ["[ENVIRONMENT]", "RapidFlag=0", `SoundFlag=${soundFlag}`, `WaitFlag=${waitFlag}`, "", "[SCORE]"];
  for (let n = 1; n <= 10; n++) {
    const row = rows[n - 1] || { level: 0, score: 0, name: "[ -- No player -- ]" };
    lines.push(`${n}_Values=${row.level} ${row.score} 0`, `${n}_Name=${row.name}`);
  }
  return lines.join("\n") + "\n";
}

const framesRun = (page) => page.evaluate(() => TavroPage.framesRun);
const storedSettings = (page) => page.evaluate((key) => localStorage.getItem(key), kSettingsKey);
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function waitForFrames(page, count) {
  const start = await framesRun(page);
  await page.waitForFunction((target) => TavroPage.framesRun >= target, {}, start + count);
}

// Opens the menu at `title` (its text without the mnemonic mark) and
// chooses `item`, with the mouse or by touch.
async function chooseMenu(page, title, item, touch = false) {
  const press = async (handle) => {
    const box = await handle.boundingBox();
    const x = box.x + box.width / 2;
    const y = box.y + box.height / 2;
    if (touch) await page.touchscreen.tap(x, y);
    else await page.mouse.click(x, y);
  };
  const titles = await page.$$(".menu-title");
  for (const handle of titles) {
    if ((await handle.evaluate((e) => e.textContent)) === title) await press(handle);
  }
  const entry = await page.waitForSelector(`xpath///button[@class="menu-item" and contains(., "${item}")]`, {
    visible: true,
  });
  await press(entry);
}

async function dialogButton(page, answer) {
  const handle = await page.waitForSelector(`dialog[open] button[data-answer="${answer}"]`);
  await handle.click();
  await page.waitForFunction(() => !document.querySelector("dialog[open]"));
}

// Frames do not advance while a box or dialog is open.
async function assertHeld(page) {
  await page.waitForSelector("dialog[open]");
  const held = await framesRun(page);
  await sleep(400);
  assert.equal(await framesRun(page), held, "a frame ran while a dialog was open");
}

async function canvasPixels(page) {
  const base64 = await page.evaluate(() => {
    const canvas = document.getElementById("playfield");
    const data = canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data;
    let binary = "";
    for (let i = 0; i < data.length; i += 0x8000) {
      binary += String.fromCharCode.apply(null, data.subarray(i, i + 0x8000));
    }
    return btoa(binary);
  });
  return Buffer.from(base64, "base64");
}

test("the attract screen shows with the menu bar and the title", async () => {
  const page = await openGame();
  await waitForFrames(page, 10);
  assert.equal(await page.title(), "TAVRO Ver.1.5");
  const titles = await page.$$eval(".menu-title", (all) => all.map((e) => e.textContent));
  assert.deepEqual(titles, ["ゲーム(F)", "設定(C)", "ヘルプ(H)"]);
  const pixels = await canvasPixels(page);
  let lit = 0;
  for (let i = 0; i < pixels.length; i += 4) {
    if (pixels[i] | pixels[i + 1] | pixels[i + 2]) lit++;
  }
  assert.ok(lit > 1000, `the playfield shows the attract screen (${lit} lit pixels)`);
  assert.deepEqual(page.errors, []);
  await page.browserContext().close();
});

test("a scripted session gives the runner's picture, pixel for pixel", async () => {
  const script = [
    "# demo, rapid fire on, a game with clicks and moves, sound off",
    "15 rapid",
    "40 start",
    "75 click 100 200",
    "76 click 300 150",
    "90 move 256 256",
    "91 move 260 250",
    "130 move 200 120",
    "160 sound",
    "200 click 420 330",
    "320 dump",
    "",
  ].join("\n");
  fs.writeFileSync(path.join(scratch, "session.txt"), script);
  const expectedPng = path.join(scratch, "session.png");
  execFileSync(simProgram, ["--script", path.join(scratch, "session.txt"), "--frames", "320",
    "--png", expectedPng], { stdio: ["ignore", "ignore", "inherit"] });
  const expected = execFileSync("convert", [expectedPng, "-depth", "8", "rgba:-"]);

  const page = await openGame("?script=scratch/session.txt&fast=1");
  await page.waitForFunction(() => TavroPage.playbackDone, { timeout: 60000 });
  assert.equal(await framesRun(page), 320);
  const shown = await canvasPixels(page);
  assert.equal(shown.length, kSide * kSide * 4);
  let differing = 0;
  for (let i = 0; i < shown.length; i++) if (shown[i] !== expected[i]) differing++;
  assert.equal(differing, 0, "bytes differing from the runner's picture");
  // The player's own settings are neither read nor written by a script.
  assert.equal(await storedSettings(page), null);
  await page.browserContext().close();
});

test("a game played from the menu ranks the typed name, which survives closing and reloading", async () => {
  const context = await browser.createBrowserContext();
  let page = await openGame("", settingsFile(1, []), context);
  await chooseMenu(page, "ゲーム(F)", "開始");
  const canvas = await page.$("#playfield");
  const box = await canvas.boundingBox();
  // Shots swept across the sky for a few seconds score; then the rocks land
  // until the game is over and the name is asked.
  for (let shot = 0; shot < 150; shot++) {
    const x = box.x + (((shot * 37) % 480) + 16) * (box.width / kSide);
    const y = box.y + (((shot * 53) % 300) + 100) * (box.height / kSide);
    if (shot % 3 === 0) await page.touchscreen.tap(x, y);
    else await page.mouse.click(x, y);
    await sleep(30);
  }
  await page.waitForSelector("dialog[open] input.name-field", { timeout: 120000 });
  await assertHeld(page);
  // The field keeps to 20 columns: wide characters count two.
  await page.type("dialog[open] input.name-field", "たぶろう名人ABCDEFGHIJKLMNOP");
  const typed = await page.$eval("dialog[open] input.name-field", (field) => field.value);
  assert.equal(typed, "たぶろう名人ABCDEFGH");
  await page.keyboard.press("Escape");
  assert.ok(await page.$("dialog[open]"), "Escape closed the name dialog");
  await page.keyboard.press("Enter");
  await page.waitForFunction(() => !document.querySelector("dialog[open]"));
  await waitForFrames(page, 5);

  // Closing the tab saves the ranking.
  await page.close({ runBeforeUnload: true });
  page = await context.newPage();
  await page.goto(`${origin}/scratch/blank.html`);
  const saved = await storedSettings(page);
  assert.match(saved, /1_Name=たぶろう名人ABCDEFGH\n/);

  // The reloaded game has the row: saving again from memory keeps it.
  await page.goto(`${origin}/index.html`);
  await page.waitForFunction(() => TavroPage.ready && TavroPage.framesRun > 0);
  await page.evaluate((key) => localStorage.removeItem(key), kSettingsKey);
  await chooseMenu(page, "ゲーム(F)", "終了");
  await dialogButton(page, "ok");
  await page.waitForSelector("#ended", { visible: true });
  assert.match(await storedSettings(page), /1_Name=たぶろう名人ABCDEFGH\n/);
  await context.close();
});

test("the boxes' OK and Cancel, with no frames while a box or dialog is open", async () => {
  const page = await openGame("", settingsFile(1, [{ level: 2, score: 500, name: "Kept" }]));

  // The about dialog, by keyboard: Alt+H, Enter; Escape leaves it open.
  await page.keyboard.down("Alt");
  await page.keyboard.press("h");
  await page.keyboard.up("Alt");
  await page.keyboard.press("Enter");
  await assertHeld(page);
  await page.keyboard.press("Escape");
  assert.ok(await page.$("dialog[open]"), "Escape closed the about dialog");
  await page.keyboard.press("Enter");
  await page.waitForFunction(() => !document.querySelector("dialog[open]"));
  await waitForFrames(page, 3);

  // Clearing the ranking: Cancel keeps it, by touch.
  await chooseMenu(page, "ゲーム(F)", "ランキングのクリア", true);
  await assertHeld(page);
  await dialogButton(page, "cancel");
  await waitForFrames(page, 3);

  // Exit: Cancel goes on playing.
  await chooseMenu(page, "ゲーム(F)", "終了");
  await assertHeld(page);
  await dialogButton(page, "cancel");
  await waitForFrames(page, 3);

  // The settings popup's check marks follow the settings: sound on.
  await chooseMenu(page, "設定(C)", "効果音");
  await page.click(".menu-title:nth-child(2)");
  const checks = await page.$$eval(".menu-item[role=menuitemcheckbox]", (all) =>
    all.map((e) => e.getAttribute("aria-checked")));
  assert.deepEqual(checks, ["false", "true"]);
  await page.keyboard.press("Escape");

  // Exit: OK saves and ends. The ranking row was kept by Cancel.
  await chooseMenu(page, "ゲーム(F)", "終了");
  await dialogButton(page, "ok");
  await page.waitForSelector("#ended", { visible: true });
  const settings = await storedSettings(page);
  assert.match(settings, /SoundFlag=1\n/);
  assert.match(settings, /1_Name=Kept\n/);
  const ended = await framesRun(page);
  await sleep(200);
  assert.equal(await framesRun(page), ended, "frames ran after the end");

  // Clearing with OK empties the ranking.
  await page.reload();
  await page.waitForFunction(() => TavroPage.ready && TavroPage.framesRun > 0);
  await chooseMenu(page, "ゲーム(F)", "ランキングのクリア");
  await dialogButton(page, "ok");
  await chooseMenu(page, "ゲーム(F)", "終了");
  await dialogButton(page, "ok");
  await page.waitForSelector("#ended", { visible: true });
  assert.match(await storedSettings(page), /1_Name=\[ -- No player -- \]\n/);
  assert.deepEqual(page.errors, []);
  await page.browserContext().close();
});

test("hiding the page saves the settings and holds the frames until it shows again", async () => {
  const page = await openGame("", settingsFile(1, []));
  await chooseMenu(page, "設定(C)", "効果音");
  assert.match(await storedSettings(page), /SoundFlag=0\n/);
  const other = await page.browserContext().newPage();
  await other.bringToFront();
  await page.waitForFunction(() => document.hidden);
  assert.match(await storedSettings(page), /SoundFlag=1\n/);
  const held = await framesRun(page);
  await sleep(400);
  assert.equal(await framesRun(page), held, "a frame ran while the page was hidden");
  await page.bringToFront();
  await waitForFrames(page, 5);
  await page.browserContext().close();
});

test("a rejected ranking is kept as TAVRO.INI.bak before the file is replaced", async () => {
  const malformed = settingsFile(1, [{ level: 1, score: 900, name: "High" }]).replace(
    "3_Values=0 0 0", "3_Values=three");
  const page = await openGame("", malformed);
  await chooseMenu(page, "ゲーム(F)", "終了");
  await dialogButton(page, "ok");
  await page.waitForSelector("#ended", { visible: true });
  assert.equal(await page.evaluate(() => localStorage.getItem("TAVRO.INI.bak")), malformed);
  assert.match(await storedSettings(page), /1_Name=\[ -- No player -- \]\n/);
  await page.browserContext().close();
});

test("a browser that refuses to store the settings has the player told so", async () => {
  const page = await openGame();
  await page.evaluate(() => {
    Storage.prototype.setItem = () => {
      throw new DOMException("full", "QuotaExceededError");
    };
  });
  await chooseMenu(page, "ゲーム(F)", "終了");
  await dialogButton(page, "ok");
  await page.waitForSelector("#ended", { visible: true });
  assert.match(await page.$eval("#ended", (e) => e.textContent), /保存できませんでした/);
  await page.browserContext().close();
});

test("sound starts with the first gesture; a shot plays on its voice, not with sound off", async () => {
  const kShot = 3;
  const page = await openGame("", settingsFile(1, [], 1));
  // as a browser holds it until the player's first gesture
  await page.evaluate(() => TavroPage.audio.context.suspend());
  assert.equal(await page.evaluate(() => TavroPage.audio.context.state), "suspended");
  assert.deepEqual(
    await page.evaluate(() => TavroPage.audio.buffers.map((b) => b.numberOfChannels > 0)),
    [true, true, true, true]);
  await chooseMenu(page, "ゲーム(F)", "開始");
  await page.waitForFunction(() => TavroPage.audio.context.state === "running");
  const canvas = await (await page.$("#playfield")).boundingBox();
  const shoot = async () => {
    await page.evaluate((v) => TavroPage.audio.voices[v] && (TavroPage.audio.voices[v].seen = true), kShot);
    await page.mouse.click(canvas.x + canvas.width / 2, canvas.y + canvas.height / 3);
    await waitForFrames(page, 2);
    return page.evaluate((v) => !!TavroPage.audio.voices[v] && !TavroPage.audio.voices[v].seen, kShot);
  };
  assert.equal(await shoot(), true, "the shot did not sound");
  await chooseMenu(page, "設定(C)", "効果音");
  assert.equal(await shoot(), false, "a shot sounded with sound off");
  await page.browserContext().close();
});
