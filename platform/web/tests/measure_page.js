// Measures the browser program in headless Chromium: the size of the site's
// files (as served, and gzip-compressed as a compressing server would send
// them), the time from the start of loading to the first frame, and, over
// some seconds of the demo, the frames per second and the processor time of
// all of the browser's processes. Screenshots at a desktop and a phone size
// go to the folder given.
//
//   node measure_page.js SITE_DIR SHOT_DIR [SECONDS]
"use strict";

const fs = require("node:fs");
const http = require("node:http");
const path = require("node:path");
const zlib = require("node:zlib");
const puppeteer = require("puppeteer-core");

const [siteDir, shotDir, secondsText] = process.argv.slice(2);
const seconds = Number(secondsText || 10);
const kContentTypes = {
  ".html": "text/html; charset=utf-8",
  ".js": "text/javascript; charset=utf-8",
  ".wasm": "application/wasm",
  ".png": "image/png",
};

function serve() {
  const server = http.createServer((request, response) => {
    const name = new URL(request.url, "http://localhost").pathname;
    const file = path.join(siteDir, path.normalize(name === "/" ? "/index.html" : name));
    fs.readFile(file, (error, data) => {
      response.writeHead(error ? 404 : 200, {
        "Content-Type": kContentTypes[path.extname(file)] || "application/octet-stream",
      });
      response.end(error ? undefined : data);
    });
  });
  return new Promise((resolve) => server.listen(0, "127.0.0.1", () => resolve(server)));
}

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

  const server = await serve();
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

  await new Promise((resolve) => setTimeout(resolve, 1000));
  const session = await page.createCDPSession();
  await session.send("Performance.enable");
  const metric = async (name) =>
    (await session.send("Performance.getMetrics")).metrics.find((m) => m.name === name).value;
  const ticksPerSecond = 100;
  const pid = browser.process().pid;
  const frames0 = await page.evaluate(() => TavroPage.framesRun);
  const ticks0 = treeTicks(pid);
  const task0 = await metric("TaskDuration");
  const start = Date.now();
  await new Promise((resolve) => setTimeout(resolve, seconds * 1000));
  const elapsed = (Date.now() - start) / 1000;
  const frames = (await page.evaluate(() => TavroPage.framesRun)) - frames0;
  const cpu = (treeTicks(pid) - ticks0) / ticksPerSecond;
  const task = (await metric("TaskDuration")) - task0;
  console.log(`demo over ${elapsed.toFixed(1)} s: ${(frames / elapsed).toFixed(1)} frames/s`);
  console.log(`processor, all browser processes: ${((100 * cpu) / elapsed).toFixed(1)}% of one core`);
  console.log(`processor, the page's main thread: ${((100 * task) / elapsed).toFixed(1)}% of one core`);

  if (shotDir) {
    fs.mkdirSync(shotDir, { recursive: true });
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
