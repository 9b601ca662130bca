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
  ".glyphs": "application/octet-stream",
};

// Serves siteDir on 127.0.0.1 at a free port. `pages` maps a path to the
// HTML it answers with; `folders` maps a path prefix ("/scratch/") to a
// folder whose files it answers with. With `gzip`, a file packed ahead of
// time beside itself (FILE.gz) goes packed to a client that takes gzip; with
// `validators`, a file goes with its Last-Modified time, and a request that
// has it already is answered 304 (as most servers do: a browser's cache then
// serves a page loaded again).
// `hold` maps a path to a function called at each request for it: the
// answer waits for the promise it returns (none: at once). Resolves to the
// listening server, which counts the requests for each path in `requests`.
function serveSite(siteDir, { pages = {}, folders = {}, gzip = false, validators = false, hold = {} } = {}) {
  const requests = new Map();
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, "http://localhost").pathname);
    requests.set(name, (requests.get(name) || 0) + 1);
    const waiting = Object.hasOwn(hold, name) ? hold[name]() : null;
    if (waiting) waiting.then(() => answer(request, response, name));
    else answer(request, response, name);
  });

  function answer(request, response, name) {
    if (Object.hasOwn(pages, name)) {
      response.writeHead(200, { "Content-Type": kContentTypes[".html"] });
      response.end(pages[name]);
      return;
    }
    const prefix = Object.keys(folders).find((p) => name.startsWith(p));
    const file = prefix
      ? path.join(folders[prefix], path.basename(name))
      : path.join(siteDir, path.normalize(name === "/" ? "/index.html" : name));
    const packed = gzip && /\bgzip\b/.test(request.headers["accept-encoding"] || "") && fs.existsSync(file + ".gz");
    let modified = null;
    if (validators && fs.existsSync(file)) {
      modified = fs.statSync(file).mtime.toUTCString();
      if (request.headers["if-modified-since"] === modified) {
        response.writeHead(304, { "Last-Modified": modified });
        response.end();
        return;
      }
    }
    fs.readFile(packed ? file + ".gz" : file, (error, data) => {
      if (error) {
        response.writeHead(404);
        response.end();
        return;
      }
      const headers = { "Content-Type": kContentTypes[path.extname(file)] || "application/octet-stream" };
      if (packed) {
        headers["Content-Encoding"] = "gzip";
        headers["Vary"] = "Accept-Encoding";
      }
      if (modified) headers["Last-Modified"] = modified;
      response.writeHead(200, headers);
      response.end(data);
    });
  }
  server.requests = requests;
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
  let lastRefresh = -1;  // the number of the display's last refresh
  window.requestAnimationFrame = (callback) => {
    pending.push(callback);
    if (timer === null) {
      // the next refresh, never a second one in a refresh a late timer
      // already served
      const refresh = Math.max(lastRefresh + 1, Math.ceil(performance.now() / period));
      timer = setTimeout(() => {
        timer = null;
        lastRefresh = refresh;
        window.displayFrames++;
        const due = pending;
        pending = [];
        const now = performance.now();
        for (const f of due) f(now);
      }, Math.max(0, refresh * period - performance.now()));
    }
    return pending.length;
  };
}

module.exports = { kContentTypes, serveSite, emulateDisplay };
