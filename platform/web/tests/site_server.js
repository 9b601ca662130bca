// What the browser tests and the measuring script share: the site served on
// localhost, and a display emulated at a chosen rate.
"use strict";

const fs = require("node:fs");
const http = require("node:http");
const path = require("node:path");

const kContentTypes = {
  ".html": "text/html; charset=utf-8",
  ".js": "text/javascript; charset=utf-8",
  ".wasm": "application/wasm",
  ".png": "image/png",
  ".txt": "text/plain; charset=utf-8",
};

// Serves siteDir on 127.0.0.1 at a free port. `pages` maps a path to the
// HTML it answers with; `folders` maps a path prefix ("/scratch/") to a
// folder whose files it answers with. Resolves to the listening server.
function serveSite(siteDir, { pages = {}, folders = {} } = {}) {
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, "http://localhost").pathname);
    if (Object.hasOwn(pages, name)) {
      response.writeHead(200, { "Content-Type": kContentTypes[".html"] });
      response.end(pages[name]);
      return;
    }
    const prefix = Object.keys(folders).find((p) => name.startsWith(p));
    const file = prefix
      ? path.join(folders[prefix], path.basename(name))
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

// Runs in the page (evaluateOnNewDocument): a display at `hertz` frames a
// second in place of the browser's own, its animation frames on a timer
// grid of that period; window.displayFrames counts them.
function emulateDisplay(hertz) {
  const period = 1000 / hertz;
  window.displayFrames = 0;
  let pending = [];
  let timer = null;
  window.requestAnimationFrame = (callback) => {
    pending.push(callback);
    if (timer === null) {
      timer = setTimeout(() => {
        timer = null;
        window.displayFrames++;
        const due = pending;
        pending = [];
        const now = performance.now();
        for (const f of due) f(now);
      }, period - (performance.now() % period));
    }
    return pending.length;
  };
}

module.exports = { kContentTypes, serveSite, emulateDisplay };
