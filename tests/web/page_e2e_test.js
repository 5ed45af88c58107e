// ribbons.html end to end in Debian's headless Chromium, driven by real key
// events, in the cross-build test's terms: the first frame is drawn; F1
// shows the FPS text; F12 downloads frames of the scene that the page's own
// `rand` (musl's) builds from the seed `time` gave it, about 50 logic steps
// a second apart; hidden behind another tab, it pauses and does not race
// through the steps it missed once shown again; a screenshot it cannot read
// stays; five quick F12 taps save five files; the scene fits a small window;
// Esc ends the demo and the page says so. An upright phone's emulation then
// loads it afresh (see phone). Nothing leaves the page and its console shows
// no error.
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

const fps_shown = async (page) => (await canvas_pixels(page, 565, 2, 75, 8)).includes(0xffffff);
const times_said = (page, text) => page.evaluate(
  (text) => document.getElementById('message').textContent.split(text).length - 1, text);
// Fails unless a seed from FIRST - 1 to LAST replays every one of FILES.
const replay = (first, last, files) => execFileSync('node', ['--no-experimental-fetch', find_scene_step,
  String(first - 1), String(last), String(steps_per_second * 30), ...files], { encoding: 'utf8' });

// A screenshot the page cannot read stays in its folder, said once while frames go by; the
// next one is handed over (the quick taps).
async function unreadable_screenshot_is_kept(page, saved) {
  const before = saved.length;
  await page.evaluate(() => { window.read = FS.read; FS.read = () => { throw new FS.ErrnoError(29); }; });
  await press(page, 'F12');
  await eventually(5000, 'word of the kept screenshot', () => times_said(page, 'could not be'));
  await sleep(500);
  const kept = await page.evaluate(() => { FS.read = window.read; return FS.readdir('/downloads').includes('screenshot.bmp'); });
  assert.deepEqual([kept, await times_said(page, 'could not be'), saved.length - before], [true, 1, 0],
                   'kept, said once, not handed over');
}

// Once resized, the scene whole in the window on whole display pixels (as near as layout's
// 1/64 px goes), no control under a finger's size or over it; gives its share of the width
// and its scale.
async function fits(page, viewport) {
  await page.setViewport(viewport);
  return eventually(5000, `the scene to fit ${viewport.width}x${viewport.height}`, () => page.evaluate(() => {
    const scene = document.getElementById('screen').getBoundingClientRect(), ratio = devicePixelRatio;
    const apart = (b) => b.left >= scene.right || b.top >= scene.bottom || b.right <= scene.left || b.bottom <= scene.top;
    const buttons = [...document.querySelectorAll('#controls button')].map((b) => b.getBoundingClientRect());
    return scene.left >= 0 && scene.top >= 0 && scene.right <= innerWidth && scene.bottom <= innerHeight &&
      [scene.left, scene.top, scene.width, scene.height].every((v) => Math.abs(v * ratio - Math.round(v * ratio)) < 0.1) &&
      buttons.every((b) => !b.width || (b.width >= 44 && b.height >= 44 && apart(b))) &&
      { share: scene.width / innerWidth, scale: Math.round(scene.width * ratio) / 640 };
  }));
}

const tap = async (page, name) => page.touchscreen.tap(...await page.evaluate((name) => {
  const box = [...document.querySelectorAll('#controls button')].find((b) => b.textContent === name).getBoundingClientRect();
  return [box.x + box.width / 2, box.y + box.height / 2];
}, name));

// A fresh load as an upright phone: the scene spans the width, each control does what its key
// does (the saved file is a frame of the replay), Tab and Space keep their ways, Esc in full
// screen only leaves it, and on its side the scene keeps a whole scale.
async function phone(browser, saved, errors) {
  const page = await browser.newPage();
  page.on('pageerror', (error) => errors.push(String(error)));
  const upright = { width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true };
  await page.setViewport(upright);
  const started = Math.floor(Date.now() / 1000);
  await page.goto('file://' + path.resolve(page_file));
  await eventually(30000, 'the phone\'s first frame', async () => (await canvas_pixels(page, 0, 0, 640, 480)).some((p) => p));
  const drawing = Math.ceil(Date.now() / 1000);
  const { share } = await fits(page, upright);
  console.log(`upright phone: the scene takes ${(100 * share).toFixed(1)}% of the width`);
  assert.ok(share >= 0.9, 'the scene spans less than 90% of an upright phone');
  await tap(page, 'Frame rate');
  await eventually(5000, 'the FPS text from its button', () => fps_shown(page));
  const before = saved.length;
  await tap(page, 'Save frame');
  await eventually(5000, 'the file from Save frame', () => saved.length > before);
  console.log(`the phone's frame: ${/seed \d+ steps .*/.exec(replay(started, drawing, [saved[before].file]))}`);
  await page.focus('#screen');
  await page.keyboard.press('Tab');
  assert.equal(await page.evaluate(() => document.activeElement.textContent), 'Frame rate', 'Tab stayed');
  await page.keyboard.press(' ');
  await eventually(5000, 'Space on the focused button to hide the FPS text', async () => !await fps_shown(page));
  await tap(page, 'Full screen');
  if (await eventually(2000, 'full screen', () => page.evaluate(() => !!document.fullscreenElement)).catch(() => 0)) {
    await press(page, 'Escape');
    await eventually(2000, 'Esc to leave full screen', () => page.evaluate(() => !document.fullscreenElement));
  } else console.log('full screen skipped: headless Chromium did not enter it');
  await tap(page, 'Frame rate');
  await eventually(5000, 'the demo to go on after Esc left full screen', () => fps_shown(page));
  const { scale } = await fits(page, { ...upright, width: upright.height, height: upright.width });
  assert.ok(Number.isInteger(scale), `on its side the scene is ${scale} times 640 display pixels`);
  await tap(page, 'End');
  await eventually(5000, 'End to end the demo', () => times_said(page, 'has ended'));
}

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
    await unreadable_screenshot_is_kept(page, saved);
    // Five quick taps, each press and release sent back to back, save five files.
    for (let tap = 0; tap < 5; tap++) {
      await page.keyboard.down('F12');
      await page.keyboard.up('F12');
      await sleep(600);
    }
    await eventually(5000, 'five files from five quick taps', () => saved.length === 8);
    await fits(page, { width: 600, height: 400 });

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
    await phone(browser, saved, errors);
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
