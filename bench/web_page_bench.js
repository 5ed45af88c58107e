// How fast ribbons.html runs in headless Chromium: frames handed to the
// canvas per second, and the time of one frame's work inside the page, from
// the browser's frame callback that resumes the program to the end of the
// canvas hand-over (the buffer cleared, the logic steps, the scene drawn, the
// copy to the screen, the conversion to the canvas's colours, putImageData).
// Measured from outside the program, by wrapping the two browser calls.
//
//   node web_page_bench.js PAGE PROFILE_DIR [SECONDS]
'use strict';
const puppeteer = require('puppeteer-core');

const [page_file, profile, seconds = '5'] = process.argv.slice(2);
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function watch_frames() {
  const frames = (window.__frames = { resumed: null, work: [], put: [] });
  const request_frame = window.requestAnimationFrame.bind(window);
  window.requestAnimationFrame = (callback) => request_frame((time) => {
    frames.resumed = performance.now();
    callback(time);
  });
  const put = CanvasRenderingContext2D.prototype.putImageData;
  CanvasRenderingContext2D.prototype.putImageData = function (...args) {
    const start = performance.now();
    put.apply(this, args);
    const end = performance.now();
    frames.put.push(end - start);
    if (frames.resumed !== null) frames.work.push(end - frames.resumed);
  };
}

const quantile = (sorted, q) => sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))];

async function main() {
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync'],
  });
  try {
    const page = await browser.newPage();
    await page.evaluateOnNewDocument(watch_frames);
    await page.goto('file://' + require('node:path').resolve(page_file));
    await sleep(2000); // start-up and the first frames
    await page.evaluate(() => { window.__frames.work = []; window.__frames.put = []; });
    await sleep(Number(seconds) * 1000);
    const frames = await page.evaluate(() => window.__frames);
    const work = frames.work.sort((a, b) => a - b);
    const put = frames.put.sort((a, b) => a - b);
    const fps = work.length / Number(seconds);
    console.log(`${fps.toFixed(1)} frames/s; a frame's work ${quantile(work, 0.5).toFixed(2)} ms ` +
                `median, ${quantile(work, 0.9).toFixed(2)} ms 90th percentile, of which ` +
                `putImageData ${quantile(put, 0.5).toFixed(2)} ms median (${work.length} frames)`);
  } finally {
    await browser.close();
  }
}

main().catch((error) => { console.error(error.stack || String(error)); process.exit(1); });
