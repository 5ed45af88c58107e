// ribbons.html end to end in Debian's headless Chromium, driven by real key
// events, in the cross-build test's terms: the first frame is drawn; F1
// shows the FPS text; F12 downloads frames of the scene that the page's own
// `rand` (musl's) builds from the seed `time` gave it, about 50 logic steps
// a second apart; hidden behind another tab, it pauses and does not race
// through the steps it missed once shown again; Esc ends the demo and the
// page says so. Nothing leaves the page and its console shows no error.
//
//   node page_e2e_test.js PAGE FIND_SCENE_STEP WORK_DIR
//
// FIND_SCENE_STEP is the scene replay built with emscripten, run under node,
// where `rand` is the page's. Exits 0 when every check holds.
'use strict';
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const puppeteer = require('puppeteer-core');

const [page_file, find_scene_step, work_dir] = process.argv.slice(2);
const steps_per_second = 50;
const screenshot_interval_ms = 2000;
// As in the cross-build test: a quarter of the interval, either way.
const step_tolerance = 25;
const hidden_ms = 3000;
// The page's timer lets at most this many missed steps through after a gap.
const steps_after_a_gap = 13;
// A key pressed and released within one pass of the loop is never seen.
const hold_ms = 150;

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function eventually(timeout_ms, what, predicate) {
  const deadline = Date.now() + timeout_ms;
  for (;;) {
    const value = await predicate();
    if (value) return value;
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${what}`);
    await sleep(50);
  }
}

async function press(page, key) {
  await page.keyboard.down(key);
  await sleep(hold_ms);
  await page.keyboard.up(key);
}

// Pixels of the canvas in a box, as 0xRRGGBB.
const canvas_pixels = (page, x, y, w, h) => page.evaluate((x, y, w, h) => {
  const data = document.getElementById('screen').getContext('2d').getImageData(x, y, w, h).data;
  const pixels = [];
  for (let i = 0; i < data.length; i += 4) pixels.push(data[i] << 16 | data[i + 1] << 8 | data[i + 2]);
  return pixels;
}, x, y, w, h);

async function main() {
  fs.rmSync(work_dir, { recursive: true, force: true });
  const downloads = path.join(work_dir, 'downloads');
  fs.mkdirSync(downloads, { recursive: true });
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    userDataDir: path.join(work_dir, 'profile'),
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync'],
  });
  try {
    const page = await browser.newPage();
    const outside = [], errors = [], saved = [];
    page.on('request', (request) => {
      if (!/^(file|data|blob):/.test(request.url())) outside.push(request.url());
    });
    page.on('console', (message) => { if (message.type() === 'error') errors.push(message.text()); });
    page.on('pageerror', (error) => errors.push(String(error)));
    const session = await browser.target().createCDPSession();
    await session.send('Browser.setDownloadBehavior',
                       { behavior: 'allowAndName', downloadPath: downloads, eventsEnabled: true });
    const began = new Map();
    session.on('Browser.downloadWillBegin', (event) => began.set(event.guid, Date.now()));
    session.on('Browser.downloadProgress', (event) => {
      if (event.state === 'completed') saved.push({ file: path.join(downloads, event.guid), at: began.get(event.guid) });
    });

    const started = Math.floor(Date.now() / 1000);
    await page.goto('file://' + path.resolve(page_file));
    await eventually(30000, 'the first frame',
                     async () => (await canvas_pixels(page, 0, 0, 640, 480)).some((p) => p !== 0));
    const drawing = Math.ceil(Date.now() / 1000);

    // The FPS text, white at (565, 2): no shape is ever pure white.
    await press(page, 'F1');
    await eventually(5000, 'the FPS text after F1',
                     async () => (await canvas_pixels(page, 565, 2, 75, 8)).includes(0xffffff));

    await press(page, 'F12');
    await eventually(5000, 'the first screenshot', () => saved.length === 1);
    await sleep(Math.max(0, saved[0].at + screenshot_interval_ms - Date.now()));
    await press(page, 'F12');
    await eventually(5000, 'the second screenshot', () => saved.length === 2);
    const seconds = (saved[1].at - saved[0].at) / 1000;

    // Another tab in front hides the page; the browser then gives it no frames.
    const other = await browser.newPage();
    await other.bringToFront();
    await sleep(hidden_ms);
    await page.bringToFront();
    await other.close();
    await press(page, 'F12');
    await eventually(5000, 'the screenshot after the page was hidden', () => saved.length === 3);
    const shown_seconds = (saved[2].at - saved[1].at - hidden_ms) / 1000;

    await press(page, 'Escape');
    await eventually(5000, 'the page to say the demo has ended', () => page.evaluate(
      () => /has ended/.test(document.getElementById('message').textContent)));

    const replay = execFileSync('node', ['--no-experimental-fetch', find_scene_step,
                                         String(started - 1), String(drawing), String(steps_per_second * 30),
                                         ...saved.map((shot) => shot.file)], { encoding: 'utf8' });
    const match = /seed (\d+) steps (\d+) (\d+) (\d+)/.exec(replay);
    assert.ok(match, `no seed from ${started - 1} to ${drawing} replays both screenshots:\n${replay}`);
    const expected = Math.round(steps_per_second * seconds);
    const gap = match[3] - match[2];
    console.log(`seed ${match[1]}: screenshots show steps ${match[2]} and ${match[3]}, ` +
                `${seconds.toFixed(3)} s apart (${expected} steps expected)`);
    assert.ok(Math.abs(gap - expected) <= step_tolerance, `${gap} steps apart, ${expected} expected`);
    const after_hiding = match[4] - match[3];
    const most = Math.round(steps_per_second * shown_seconds) + steps_after_a_gap + step_tolerance;
    console.log(`hidden for ${hidden_ms / 1000} s: ${after_hiding} steps (at most ${most})`);
    assert.ok(after_hiding <= most, `${after_hiding} steps after hiding: it caught up`);
    assert.deepEqual(outside, [], 'requests left the page');
    assert.deepEqual(errors, [], 'errors in the console');
  } finally {
    await browser.close();
  }
}

main().then(() => console.log('page test passed'), (error) => {
  console.error(error.stack || String(error));
  process.exit(1);
});
