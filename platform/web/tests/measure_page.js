// Measures the browser program in headless Chromium: the size of the site's
// files (as served, and gzip-compressed as a compressing server would send
// them), the time from the start of loading to the first frame; over some
// seconds of the demo (30 unless told), the frames per second and the
// processor time of all of the browser's processes and of the page's main
// thread, and the same for a trivial page that only shows a 512 x 512
// picture 50 times a second, in the same run; the game's frames per second
// on a display emulated at 30, 60 and 144 Hz. Screenshots at a desktop and
// a phone size go to the folder given.
//
//   node measure_page.js SITE_DIR SHOT_DIR [SECONDS]
"use strict";

const fs = require("node:fs");
const path = require("node:path");
const zlib = require("node:zlib");
const puppeteer = require("puppeteer-core");
const { serveSite, emulateDisplay } = require("./site_server.js");

const [siteDir, shotDir, secondsText] = process.argv.slice(2);
const seconds = Number(secondsText || 30);
// Seconds of each emulated display rate.
const kDisplaySeconds = 10;

// The trivial page to compare with: a 512 x 512 picture made anew and put
// on a canvas 50 times a second, drawn in the display's frame as the game's
// page draws.
const kTrivialPage = `<!doctype html><title>trivial</title>
<body style="margin:0;background:#3a3a3a">
<canvas id="c" width="512" height="512" style="display:block;margin:auto"></canvas>
<script>
  const context = document.getElementById("c").getContext("2d", { alpha: false });
  const picture = new ImageData(512, 512);
  const pixels = new Uint32Array(picture.data.buffer);
  window.framesRun = 0;
  let pending = false;
  setInterval(() => {
    const n = ++window.framesRun;
    for (let i = 0; i < pixels.length; i++) pixels[i] = 0xff000000 | ((i + n) & 0xff) << 8;
    if (pending) return;
    pending = true;
    requestAnimationFrame(() => {
      pending = false;
      context.putImageData(picture, 0, 0);
    });
  }, 20);
</script>`;


// utime + stime, in clock ticks, of a process and all its descendants.
function treeTicks(pid) {
  let ticks = 0;
  try {
    const fields = fs.readFileSync(`/proc/${pid}/stat`, "utf8").split(") ")[1].split(" ");
    ticks = Number(fields[11]) + Number(fields[12]);
    for (const task of fs.readdirSync(`/proc/${pid}/task`)) {
      const children = fs.readFileSync(`/proc/${pid}/task/${task}/children`, "utf8").trim();
      for (const child of children ? children.split(" ") : []) ticks += treeTicks(child);
    }
  } catch (e) {
    // the process ended meanwhile
  }
  return ticks;
}


// Over `seconds`: the page's frames per second (the expression counts
// them), and the processor time of all the browser's processes and of the
// page's main thread, in percent of one core.
async function measureLoad(browser, page, framesExpression, seconds) {
  const session = await page.createCDPSession();
  await session.send("Performance.enable");
  const metric = async (name) =>
    (await session.send("Performance.getMetrics")).metrics.find((m) => m.name === name).value;
  const ticksPerSecond = 100;
  const pid = browser.process().pid;
  const frames0 = await page.evaluate(framesExpression);
  const ticks0 = treeTicks(pid);
  const task0 = await metric("TaskDuration");
  const start = Date.now();
  await new Promise((resolve) => setTimeout(resolve, seconds * 1000));
  const elapsed = (Date.now() - start) / 1000;
  const frames = (await page.evaluate(framesExpression)) - frames0;
  const cpu = (treeTicks(pid) - ticks0) / ticksPerSecond;
  const task = (await metric("TaskDuration")) - task0;
  await session.detach();
  return {
    elapsed,
    framesPerSecond: frames / elapsed,
    allProcesses: (100 * cpu) / elapsed,
    mainThread: (100 * task) / elapsed,
  };
}

async function main() {
  const files = fs.readdirSync(siteDir).sort();
  let total = 0;
  let totalGzip = 0;
  for (const name of files) {
    const data = fs.readFileSync(path.join(siteDir, name));
    const gzip = zlib.gzipSync(data, { level: 9 }).length;
    total += data.length;
    totalGzip += gzip;
    console.log(`file ${name}: ${data.length} bytes, gzip ${gzip}`);
  }
  console.log(`files total: ${total} bytes, gzip ${totalGzip}`);

  const server = await serveSite(siteDir, { pages: { "/trivial.html": kTrivialPage } });
  const origin = `http://127.0.0.1:${server.address().port}`;
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    headless: true,
    args: ["--no-sandbox"],
  });
  // Loaded twice: the first load compiles everything, the second finds the
  // browser's caches warm.
  let page = null;
  for (const load of ["first", "second"]) {
    if (page) await page.close();
    page = await browser.newPage();
    await page.setViewport({ width: 1280, height: 900 });
    const network = await page.createCDPSession();
    await network.send("Network.enable");
    let transferred = 0;
    network.on("Network.loadingFinished", (event) => (transferred += event.encodedDataLength));
    await page.goto(`${origin}/index.html`);
    await page.waitForFunction(() => TavroPage.firstFrameMs !== null, { timeout: 60000 });
    const firstFrame = await page.evaluate(() => TavroPage.firstFrameMs);
    console.log(`${load} load: first frame after ${firstFrame.toFixed(0)} ms, ${transferred} bytes transferred`);
  }

  // The game's demo, then the trivial page alone, over the same seconds.
  await new Promise((resolve) => setTimeout(resolve, 1000));
  const game = await measureLoad(browser, page, "TavroPage.framesRun", seconds);
  await page.close();
  page = await browser.newPage();
  await page.setViewport({ width: 1280, height: 900 });
  await page.goto(`${origin}/trivial.html`);
  await new Promise((resolve) => setTimeout(resolve, 1000));
  const trivial = await measureLoad(browser, page, "window.framesRun", seconds);
  await page.close();
  for (const [name, m] of [["the game's demo", game], ["the trivial 512 x 512 page", trivial]]) {
    console.log(`${name} over ${m.elapsed.toFixed(1)} s: ${m.framesPerSecond.toFixed(1)} frames/s; ` +
      `processor ${m.allProcesses.toFixed(1)}% of one core (all browser processes), ` +
      `${m.mainThread.toFixed(1)}% (the page's main thread)`);
  }

  // The game on displays of other rates.
  for (const hertz of [30, 60, 144]) {
    page = await browser.newPage();
    await page.setViewport({ width: 1280, height: 900 });
    await page.evaluateOnNewDocument(emulateDisplay, hertz);
    await page.goto(`${origin}/index.html`);
    await page.waitForFunction(() => TavroPage.framesRun > 50, { timeout: 60000 });
    const rate = await page.evaluate(
      (ms) =>
        new Promise((resolve) => {
          const frames = TavroPage.framesRun;
          const shown = window.displayFrames;
          const start = performance.now();
          setTimeout(() => {
            const s = (performance.now() - start) / 1000;
            resolve({ game: (TavroPage.framesRun - frames) / s, display: (window.displayFrames - shown) / s });
          }, ms);
        }),
      kDisplaySeconds * 1000
    );
    console.log(`display emulated at ${hertz} Hz (${rate.display.toFixed(1)} pictures drawn a second): ` +
      `${rate.game.toFixed(1)} game frames/s over ${kDisplaySeconds} s`);
    await page.close();
  }

  if (shotDir) {
    fs.mkdirSync(shotDir, { recursive: true });
    page = await browser.newPage();
    await page.setViewport({ width: 1280, height: 900 });
    await page.goto(`${origin}/index.html`);
    await page.waitForFunction(() => TavroPage.framesRun > 100, { timeout: 60000 });
    await page.screenshot({ path: path.join(shotDir, "web-desktop.png") });
    const phone = await browser.newPage();
    await phone.setViewport({ width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true });
    await phone.goto(`${origin}/index.html`);
    await phone.waitForFunction(() => TavroPage.framesRun > 100, { timeout: 60000 });
    await phone.screenshot({ path: path.join(shotDir, "web-phone.png") });
    console.log(`screenshots: ${shotDir}/web-desktop.png, ${shotDir}/web-phone.png`);
  }
  await browser.close();
  server.close();
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
