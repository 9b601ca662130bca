// Measures the browser program in headless Chromium, for one site or more
// side by side (another build's, to compare) in the same run:
// - the site's files: bytes as they are and gzip-packed (the FILE.gz beside
//   a file, else packed here at level 9), in all and those loaded before
//   the first frame;
// - the time from the start of loading to the first frame on localhost,
//   cold (a fresh browser profile, nothing cached) and warm (the same
//   profile again), and the bytes transferred for the cold load from a
//   server that sends the packed files;
// - the processor time over some seconds of the demo (30 unless told), of
//   all of the browser's processes and of the page's main thread, beside a
//   trivial page that only shows a whole 512 x 512 picture 50 times a
//   second (also scaled to the playfield's size) and a blank page.
// Each is measured in every round (3 unless told), the pages taking turns,
// and the medians are reported. The first site's frame rate on displays
// emulated at 30, 60 and 144 Hz follows, and with --shots, screenshots at a
// desktop and a phone size.
//
//   node measure_page.js [--seconds N] [--rounds N] [--shots DIR] [NAME=]SITE_DIR ...
"use strict";

const fs = require("node:fs");
const path = require("node:path");
const zlib = require("node:zlib");
const puppeteer = require("puppeteer-core");
const { serveSite, emulateDisplay } = require("./site_server.js");

const options = { seconds: 30, rounds: 3, shots: null };
const sites = [];
for (let args = process.argv.slice(2); args.length > 0; ) {
  const arg = args.shift();
  if (arg === "--seconds" || arg === "--rounds") options[arg.slice(2)] = Number(args.shift());
  else if (arg === "--shots") options.shots = args.shift();
  else {
    const at = arg.indexOf("=");
    sites.push(at > 0 ? { name: arg.slice(0, at), dir: arg.slice(at + 1) } : { name: path.basename(path.dirname(path.resolve(arg))), dir: arg });
  }
}
if (sites.length === 0 || !(options.seconds > 0) || !(options.rounds > 0)) {
  console.error("usage: node measure_page.js [--seconds N] [--rounds N] [--shots DIR] [NAME=]SITE_DIR ...");
  process.exit(2);
}
// Seconds of each emulated display rate.
const kDisplaySeconds = 10;

// The trivial page to compare with: a 512 x 512 picture made anew and put
// on a canvas 50 times a second, drawn in the display's frame as the game's
// page draws.
const kTrivialPage = `<!doctype html><title>trivial</title>
<body style="margin:0;background:#3a3a3a">
<canvas id="c" width="512" height="512" style="display:block;margin:auto"></canvas>
<script>
  // ?side=N: scaled to N CSS pixels by nearest neighbour, as the game's playfield
  const side = Number(new URLSearchParams(location.search).get("side"));
  if (side) {
    const style = document.getElementById("c").style;
    style.transformOrigin = "0 0";
    style.transform = "scale(" + side / 512 + ")";
    style.imageRendering = "pixelated";
  }
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
const kBlankPage = `<!doctype html><title>blank</title><script>window.framesRun = 0;</script>`;

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const median = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  const mid = Math.floor(sorted.length / 2);
  return sorted.length % 2 ? sorted[mid] : (sorted[mid - 1] + sorted[mid]) / 2;
};

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

// A file's bytes as they are and gzip-packed.
function fileSizes(dir, name) {
  const file = path.join(dir, name);
  const plain = fs.statSync(file).size;
  const gzip = fs.existsSync(file + ".gz")
    ? fs.statSync(file + ".gz").size
    : zlib.gzipSync(fs.readFileSync(file), { level: 9 }).length;
  return { plain, gzip };
}

function siteSizes(dir) {
  const total = { plain: 0, gzip: 0 };
  const files = {};
  for (const name of fs.readdirSync(dir).sort()) {
    if (name.endsWith(".gz")) continue;
    files[name] = fileSizes(dir, name);
    total.plain += files[name].plain;
    total.gzip += files[name].gzip;
  }
  return { files, total };
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
  await sleep(seconds * 1000);
  const elapsed = (Date.now() - start) / 1000;
  const frames = (await page.evaluate(framesExpression)) - frames0;
  const cpu = (treeTicks(pid) - ticks0) / ticksPerSecond;
  const task = (await metric("TaskDuration")) - task0;
  await session.detach();
  return {
    framesPerSecond: frames / elapsed,
    allProcesses: (100 * cpu) / elapsed,
    mainThread: (100 * task) / elapsed,
  };
}

// Loads the game in a fresh profile (cold), then again in the same one
// (warm): the milliseconds to the first frame of each, the bytes the cold
// load transferred and the site's files it asked for before its first
// frame. The warm page is left open, running the demo.
async function loadGame(browser, site) {
  const context = await browser.createBrowserContext();
  const result = {};
  let page = null;
  for (const load of ["cold", "warm"]) {
    if (page) await page.close();
    page = await context.newPage();
    await page.setViewport({ width: 1280, height: 900 });
    const network = await page.createCDPSession();
    await network.send("Network.enable");
    let transferred = 0;
    network.on("Network.loadingFinished", (event) => (transferred += event.encodedDataLength));
    const asked = new Set();
    network.on("Network.requestWillBeSent", (event) => {
      const url = new URL(event.request.url);
      if (url.origin === site.origin) asked.add(decodeURIComponent(url.pathname).slice(1) || "index.html");
    });
    await page.goto(`${site.origin}/index.html`);
    await page.waitForFunction(() => TavroPage.firstFrameMs !== null, { timeout: 120000, polling: 20 });
    result[load] = await page.evaluate(() => TavroPage.firstFrameMs);
    if (load === "cold") {
      result.askedFirst = [...asked];
      // what was asked before the first frame has come by now
      await sleep(200);
      result.transferred = transferred;
    }
    await network.detach();
  }
  result.page = page;
  return result;
}

function table(header, rows) {
  const cells = [header, ...rows].map((row) => row.map(String));
  const widths = header.map((_, c) => Math.max(...cells.map((row) => row[c].length)));
  const line = (row) => "| " + row.map((cell, c) => (c === 0 ? cell.padEnd(widths[c]) : cell.padStart(widths[c]))).join(" | ") + " |";
  return [line(cells[0]), "|" + widths.map((w, c) => (c === 0 ? "-".repeat(w + 2) : "-".repeat(w + 1) + ":")).join("|") + "|", ...cells.slice(1).map(line)].join("\n");
}

async function main() {
  for (const site of sites) {
    site.sizes = siteSizes(site.dir);
    site.server = await serveSite(site.dir, {
      pages: { "/trivial.html": kTrivialPage, "/blank.html": kBlankPage },
      gzip: true,
      validators: true,
    });
    site.origin = `http://127.0.0.1:${site.server.address().port}`;
    site.samples = { cold: [], warm: [], transferred: [], all: [], main: [], fps: [] };
  }
  // The trivial page, also scaled as the game's playfield is at this size
  // (what the browser's scaling costs), and the blank page.
  const others = {
    trivial: { path: "trivial.html", all: [], main: [], fps: [] },
    "trivial, scaled as the playfield": { path: "trivial.html?side=", all: [], main: [], fps: [] },
    blank: { path: "blank.html", all: [], main: [], fps: [] },
  };
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    headless: true,
    args: ["--no-sandbox"],
  });

  // A first page wakes the browser up: its first load costs more, whichever page it is.
  {
    const page = await browser.newPage();
    await page.goto(`${sites[0].origin}/trivial.html`);
    await sleep(1000);
    await page.close();
  }
  let playfieldSide = 512;
  for (let round = 1; round <= options.rounds; round++) {
    for (const site of sites) {
      const load = await loadGame(browser, site);
      site.askedFirst = load.askedFirst;
      playfieldSide = await load.page.evaluate(() => document.getElementById("playfield").getBoundingClientRect().width);
      await sleep(1000);
      const m = await measureLoad(browser, load.page, "TavroPage.framesRun", options.seconds);
      await load.page.browserContext().close();
      site.samples.cold.push(load.cold);
      site.samples.warm.push(load.warm);
      site.samples.transferred.push(load.transferred);
      site.samples.all.push(m.allProcesses);
      site.samples.main.push(m.mainThread);
      site.samples.fps.push(m.framesPerSecond);
      console.log(`round ${round} ${site.name}: first frame cold ${load.cold.toFixed(0)} ms, warm ${load.warm.toFixed(0)} ms, ` +
        `${load.transferred} bytes transferred cold; demo ${m.framesPerSecond.toFixed(1)} frames/s, ` +
        `processor ${m.allProcesses.toFixed(1)}% (all), ${m.mainThread.toFixed(1)}% (main thread)`);
    }
    for (const [name, samples] of Object.entries(others)) {
      const context = await browser.createBrowserContext();
      const page = await context.newPage();
      await page.setViewport({ width: 1280, height: 900 });
      await page.goto(`${sites[0].origin}/${samples.path}${samples.path.endsWith("=") ? playfieldSide : ""}`);
      await sleep(1000);
      const m = await measureLoad(browser, page, "window.framesRun", options.seconds);
      await context.close();
      samples.all.push(m.allProcesses);
      samples.main.push(m.mainThread);
      samples.fps.push(m.framesPerSecond);
      console.log(`round ${round} ${name} page: ${m.framesPerSecond.toFixed(1)} frames/s, ` +
        `processor ${m.allProcesses.toFixed(1)}% (all), ${m.mainThread.toFixed(1)}% (main thread)`);
    }
  }

  // The medians.
  const kb = (bytes) => (bytes / 1000).toFixed(0) + " KB";
  console.log(`\nmedians of ${options.rounds} round(s), ${options.seconds} s of demo each\n`);
  const rows = [];
  const add = (label, value) => rows.push([label, ...sites.map(value)]);
  add("site files", (s) => kb(s.sizes.total.plain));
  add("site files gzip-packed", (s) => kb(s.sizes.total.gzip));
  const firstFrame = (s, kind) => s.askedFirst.filter((n) => s.sizes.files[n]).reduce((sum, n) => sum + s.sizes.files[n][kind], 0);
  add("files before the first frame", (s) => kb(firstFrame(s, "plain")));
  add("  gzip-packed", (s) => kb(firstFrame(s, "gzip")));
  add("transferred, cold load", (s) => kb(median(s.samples.transferred)));
  add("first frame, cold load", (s) => median(s.samples.cold).toFixed(0) + " ms");
  add("first frame, warm load", (s) => median(s.samples.warm).toFixed(0) + " ms");
  add("demo frames/s", (s) => median(s.samples.fps).toFixed(1));
  add("processor, all processes", (s) => median(s.samples.all).toFixed(1) + "%");
  add("processor, page's main thread", (s) => median(s.samples.main).toFixed(1) + "%");
  console.log(table(["", ...sites.map((s) => s.name)], rows));
  console.log("");
  console.log(table(["page", "frames/s", "processor, all processes", "page's main thread"], [
    ...sites.map((s) => [`game (${s.name})`, median(s.samples.fps).toFixed(1), median(s.samples.all).toFixed(1) + "%", median(s.samples.main).toFixed(1) + "%"]),
    ...Object.entries(others).map(([name, s]) => [name, median(s.fps).toFixed(1), median(s.all).toFixed(1) + "%", median(s.main).toFixed(1) + "%"]),
  ]));
  for (const site of sites) {
    console.log(`\n${site.name}: files before the first frame: ${site.askedFirst.join(", ")}`);
    for (const [name, size] of Object.entries(site.sizes.files)) {
      console.log(`  ${name}: ${size.plain} bytes, gzip-packed ${size.gzip}`);
    }
  }

  // The first site's game on displays of other rates.
  const origin = sites[0].origin;
  console.log("");
  for (const hertz of [30, 60, 144]) {
    const page = await browser.newPage();
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
    console.log(`${sites[0].name}, display emulated at ${hertz} Hz (${rate.display.toFixed(1)} pictures drawn a second): ` +
      `${rate.game.toFixed(1)} game frames/s over ${kDisplaySeconds} s`);
    await page.close();
  }

  if (options.shots) {
    fs.mkdirSync(options.shots, { recursive: true });
    const page = await browser.newPage();
    await page.setViewport({ width: 1280, height: 900 });
    await page.goto(`${origin}/index.html`);
    await page.waitForFunction(() => TavroPage.framesRun > 100, { timeout: 60000 });
    await page.screenshot({ path: path.join(options.shots, "web-desktop.png") });
    const phone = await browser.newPage();
    await phone.setViewport({ width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true });
    await phone.goto(`${origin}/index.html`);
    await phone.waitForFunction(() => TavroPage.framesRun > 100, { timeout: 60000 });
    await phone.screenshot({ path: path.join(options.shots, "web-phone.png") });
    console.log(`screenshots: ${options.shots}/web-desktop.png, ${options.shots}/web-phone.png`);
  }
  await browser.close();
  for (const site of sites) site.server.close();
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
