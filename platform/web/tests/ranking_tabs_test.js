// Two tabs of the browser program sharing one stored settings item, in
// headless Chromium through puppeteer-core: a ranked game in the newer tab is
// stored at once, without the tab being hidden or closed; closing the older
// tab afterwards keeps that row; a clear in a third tab stays when the tab
// with the ranked game is closed after it.
//
//   node ranking_tabs_test.js SITE_DIR
//
// SITE_DIR is the built site (scripts/build-web.sh). CHROMIUM names another
// browser than /usr/bin/chromium.
"use strict";

const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const puppeteer = require("puppeteer-core");
const { serveSite } = require("./site_server.js");

const [siteDir] = process.argv.slice(2);
if (!siteDir) {
  console.error("usage: node ranking_tabs_test.js SITE_DIR");
  process.exit(2);
}

const kSide = 512;
const kSettingsKey = "TAVRO.INI";

let server;
let browser;
let origin;

before(async () => {
  server = await serveSite(siteDir, {
    pages: { "/blank.html": "<!doctype html><title>blank</title>" },
  });
  origin = `http://127.0.0.1:${server.address().port}`;
  browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    headless: true,
    args: ["--no-sandbox"],
  });
});

after(async () => {
  if (browser) await browser.close();
  if (server) server.close();
});

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Rapid fire off, sound off, paced; rows as { score, name }.
function settingsFile(rows) {
  const lines = ["[ENVIRONMENT]", "RapidFlag=0", "SoundFlag=0", "WaitFlag=1", "", "[SCORE]"];
  for (let n = 1; n <= 10; n++) {
    const row = rows[n - 1] || { score: 0, name: "[ -- No player -- ]" };
    lines.push(`${n}_Values=0 ${row.score} 0`, `${n}_Name=${row.name}`);
  }
  return lines.join("\n") + "\n";
}

// The names of the stored ranking's rows that hold a player, in order.
async function storedRows(page) {
  const text = await page.evaluate((key) => localStorage.getItem(key), kSettingsKey);
  const rows = [];
  for (const line of (text || "").split("\n")) {
    const match = /^\d+_Name=(.*)$/.exec(line);
    if (match && match[1] !== "[ -- No player -- ]") rows.push(match[1]);
  }
  return rows.join(" ");
}

async function openTab(context) {
  const page = await context.newPage();
  page.errors = [];
  page.on("pageerror", (error) => page.errors.push(error.message));
  await page.setViewport({ width: 1024, height: 800 });
  await page.goto(`${origin}/index.html`);
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

async function answerOk(page) {
  const handle = await page.waitForSelector('dialog[open] button[data-answer="ok"]');
  await handle.click();
  await page.waitForFunction(() => !document.querySelector("dialog[open]"));
}

// Waits (up to 10 s) for the stored ranking to read `expected`.
async function waitForRows(page, expected, what) {
  for (let i = 0; i < 100 && (await storedRows(page)) !== expected; i++) await sleep(100);
  assert.equal(await storedRows(page), expected, what);
}

test("a ranked game is stored at once and no other tab's save loses it", { timeout: 240000 }, async () => {
  const context = await browser.createBrowserContext();
  const look = await context.newPage();
  await look.goto(`${origin}/blank.html`);
  await look.evaluate(
    (key, text) => localStorage.setItem(key, text),
    kSettingsKey,
    settingsFile([
      { score: 1, name: "Old1" },
      { score: 1, name: "Old2" },
    ]),
  );
  const older = await openTab(context);
  const player = await openTab(context);
  await player.bringToFront();

  // Shots swept across the sky score; then the rocks end the game.
  await chooseMenu(player, "ゲーム(F)", "開始");
  const box = await (await player.$("#playfield")).boundingBox();
  for (let shot = 0; shot < 150; shot++) {
    const x = box.x + (((shot * 37) % 480) + 16) * (box.width / kSide);
    const y = box.y + (((shot * 53) % 300) + 100) * (box.height / kSide);
    await player.mouse.click(x, y);
    await sleep(30);
  }
  await player.waitForSelector("dialog[open] input.name-field", { timeout: 120000 });
  await player.type("dialog[open] input.name-field", "Ann");
  await player.keyboard.press("Enter");
  await player.waitForFunction(() => !document.querySelector("dialog[open]"));
  // No tab was hidden or closed: the row is stored already.
  await waitForRows(look, "Ann Old1 Old2", "the ranked game is not stored at once");

  // The older tab, closed, saves its own older view merged with the item.
  await older.close({ runBeforeUnload: true });
  await sleep(500);
  await waitForRows(look, "Ann Old1 Old2", "closing the older tab lost the ranked game");

  // A third tab clears the ranking; closing the player's tab after it keeps
  // the clear.
  const clearing = await openTab(context);
  await clearing.bringToFront();
  await chooseMenu(clearing, "ゲーム(F)", "ランキングのクリア");
  await answerOk(clearing);
  await waitForRows(look, "", "the clear is not stored at once");
  await player.close({ runBeforeUnload: true });
  await sleep(500);
  await waitForRows(look, "", "closing the player's tab wrote back the cleared rows");
  assert.deepEqual(player.errors, []);
  assert.deepEqual(clearing.errors, []);
  await context.close();
});
