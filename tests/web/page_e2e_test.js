// ribbons.html end to end in a browser engine (Chromium, Firefox or WebKit,
// see browsers.js), driven by real key events, in the cross-build test's
// terms: the first frame is drawn; F1 shows the FPS text; F12 saves frames
// of the scene that the page's own `rand` (musl's) builds from the seed
// `time` gave it, about 50 logic steps a second apart, and five quick taps
// save five; hidden for a while, it pauses and does not race through the
// steps it missed once shown again; a screenshot it cannot read stays;
// Esc ends the demo and the page says so. In Chromium the scene also fits a
// small window, and an upright phone's emulation loads it afresh (see
// phone). Nothing leaves the page and its console shows no error.
//
//   node page_e2e_test.js ENGINE PAGE FIND_SCENE_STEP WORK_DIR
//
// FIND_SCENE_STEP is the scene replay built with emscripten, run under node,
// where `rand` is the page's. Exits 0 when every check holds.
'use strict';
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { launch } = require('./browsers.js');

const [engine, page_file, find_scene_step, work_dir] = process.argv.slice(2);
const steps_per_second = 50;
const screenshot_interval_ms = 2000;
// As in the cross-build test: a quarter of the interval, either way.
const step_tolerance = 25;
const hidden_ms = 3000;
// The page's timer lets at most this many missed steps through after a gap.
const steps_after_a_gap = 13;
// Held as a person holds a key; quick taps are checked on their own.
const hold_ms = 400;
// Taps as quick as a person's: each press and release back to back.
const taps = 5;
const tap_interval_ms = 600;

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

// Whether a box of the canvas shows `colour` (0xRRGGBB), or with none, any
// colour but black; judged in the page, as a frame's worth of numbers does
// not come back whole from every engine.
const canvas_shows = (browser, [x, y, w, h], colour = null) => browser.evaluate((x, y, w, h, colour) => {
  const data = document.getElementById('screen').getContext('2d').getImageData(x, y, w, h).data;
  for (let i = 0; i < data.length; i += 4) {
    const pixel = data[i] << 16 | data[i + 1] << 8 | data[i + 2];
    if (colour === null ? pixel !== 0 : pixel === colour) return true;
  }
  return false;
}, x, y, w, h, colour);

async function save_frame(browser, count, what) {
  await browser.press('F12', hold_ms);
  await eventually(5000, what, async () => await browser.file_count() === count);
}

// The steps of the replay that show each saved file, in order.
function replay_steps(files, first_seed, last_seed) {
  const names = files.map((file, index) => {
    const name = path.join(work_dir, `saved-${index}.bmp`);
    fs.writeFileSync(name, file.bytes);
    return name;
  });
  const replay = spawnSync(process.execPath, ['--no-experimental-fetch', find_scene_step, String(first_seed),
                                               String(last_seed), String(steps_per_second * 30), ...names],
                           { encoding: 'utf8' });
  const match = replay.status === 0 && /seed (\d+) steps ([\d ]+)/.exec(replay.stdout);
  assert.ok(match, `no seed from ${first_seed} to ${last_seed} replays every saved file:\n` +
                   (replay.error || replay.stdout + replay.stderr));
  console.log(`${engine}: seed ${match[1]}, files at steps ${match[2]}`);
  return match[2].split(' ').map(Number);
}

const fps_shown = (browser) => canvas_shows(browser, [565, 2, 75, 8], 0xffffff);
const times_said = (browser, text) => browser.evaluate(
  (text) => document.getElementById('message').textContent.split(text).length - 1, text);

// A screenshot the page cannot read stays in its folder, said once while
// frames go by; the next one is handed over (the quick taps).
async function unreadable_screenshot_is_kept(browser) {
  const before = await browser.file_count();
  await browser.evaluate(() => { window.read = FS.read; FS.read = () => { throw new FS.ErrnoError(29); }; });
  await browser.press('F12', hold_ms);
  await eventually(5000, 'word of the kept screenshot', () => times_said(browser, 'could not be'));
  await sleep(500);
  const kept = await browser.evaluate(() => {
    FS.read = window.read;
    return FS.readdir('/downloads').includes('screenshot.bmp');
  });
  assert.deepEqual([kept, await times_said(browser, 'could not be'), await browser.file_count() - before],
                   [true, 1, 0], 'kept, said once, not handed over');
}

// Once resized, the scene whole in the window on whole display pixels (as
// near as layout's 1/64 px goes), no control under a finger's size or over
// it; gives its share of the width and its scale.
async function fits(browser, viewport) {
  await browser.emulate(viewport);
  return eventually(5000, `the scene to fit ${viewport.width}x${viewport.height}`, () => browser.evaluate(() => {
    const scene = document.getElementById('screen').getBoundingClientRect(), ratio = devicePixelRatio;
    const apart = (b) => b.left >= scene.right || b.top >= scene.bottom || b.right <= scene.left || b.bottom <= scene.top;
    const whole = (css) => Math.abs(css * ratio - Math.round(css * ratio)) < 0.1;
    const buttons = [...document.querySelectorAll('#controls button')].map((b) => b.getBoundingClientRect());
    return scene.left >= 0 && scene.top >= 0 && scene.right <= innerWidth && scene.bottom <= innerHeight &&
      [scene.left, scene.top, scene.width, scene.height].every(whole) &&
      buttons.every((b) => !b.width || (b.width >= 44 && b.height >= 44 && apart(b))) &&
      { share: scene.width / innerWidth, scale: Math.round(scene.width * ratio) / 640 };
  }));
}

const tap = async (browser, name) => browser.touch(...await browser.evaluate((name) => {
  const box = [...document.querySelectorAll('#controls button')].find((b) => b.textContent === name).getBoundingClientRect();
  return [box.x + box.width / 2, box.y + box.height / 2];
}, name));

// A fresh load as an upright phone: the scene spans the width, each control
// does what its key does (the saved file is a frame of the replay), Tab and
// Space keep their ways, Esc in full screen only leaves it, and on its side
// the scene keeps a whole scale.
async function phone(browser) {
  const upright = { width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true };
  await browser.emulate(upright);
  const started = Math.floor(Date.now() / 1000);
  await browser.open(page_file);
  await eventually(30000, 'the phone\'s first frame', () => canvas_shows(browser, [0, 0, 640, 480]));
  const drawing = Math.ceil(Date.now() / 1000);
  const { share } = await fits(browser, upright);
  console.log(`upright phone: the scene takes ${(100 * share).toFixed(1)}% of the width`);
  assert.ok(share >= 0.9, 'the scene spans less than 90% of an upright phone');
  await tap(browser, 'Frame rate');
  await eventually(5000, 'the FPS text from its button', () => fps_shown(browser));
  await tap(browser, 'Save frame');
  await eventually(5000, 'the file from Save frame', async () => await browser.file_count() === 1);
  replay_steps(await browser.saved_files(), started - 1, drawing);
  await browser.evaluate(() => document.getElementById('screen').focus());
  await browser.press('Tab', 0);
  assert.equal(await browser.evaluate(() => document.activeElement.textContent), 'Frame rate', 'Tab stayed');
  await browser.press(' ', 0);
  await eventually(5000, 'Space on the focused button to hide the FPS text', async () => !await fps_shown(browser));
  await tap(browser, 'Full screen');
  if (await eventually(2000, 'full screen', () => browser.evaluate(() => !!document.fullscreenElement)).catch(() => 0)) {
    await browser.press('Escape', hold_ms);
    await eventually(2000, 'Esc to leave full screen', () => browser.evaluate(() => !document.fullscreenElement));
  } else console.log('full screen skipped: headless Chromium did not enter it');
  await tap(browser, 'Frame rate');
  await eventually(5000, 'the demo to go on after Esc left full screen', () => fps_shown(browser));
  const { scale } = await fits(browser, { ...upright, width: upright.height, height: upright.width });
  assert.ok(Number.isInteger(scale), `on its side the scene is ${scale} times 640 display pixels`);
  await tap(browser, 'End');
  await eventually(5000, 'End to end the demo', () => times_said(browser, 'has ended'));
}

async function main() {
  fs.rmSync(work_dir, { recursive: true, force: true });
  fs.mkdirSync(work_dir, { recursive: true });
  const browser = await launch(engine, work_dir);
  try {
    const started = Math.floor(Date.now() / 1000);
    await browser.open(page_file);
    await eventually(30000, 'the first frame', () => canvas_shows(browser, [0, 0, 640, 480]));
    const drawing = Math.ceil(Date.now() / 1000);

    // The FPS text, white at (565, 2): no shape is ever pure white.
    await browser.press('F1', hold_ms);
    await eventually(5000, 'the FPS text after F1', () => canvas_shows(browser, [565, 2, 75, 8], 0xffffff));

    await save_frame(browser, 1, 'the first screenshot');
    await sleep(screenshot_interval_ms);
    await save_frame(browser, 2, 'the second screenshot');
    await browser.hide_for(hidden_ms);
    await save_frame(browser, 3, 'the screenshot after the page was hidden');
    await unreadable_screenshot_is_kept(browser);

    const before_taps = await browser.file_count();
    for (let i = 0; i < taps; ++i) {
      await browser.press('F12', 0);
      await sleep(tap_interval_ms);
    }
    await eventually(2000, 'a file from every tap',
                     async () => await browser.file_count() === before_taps + taps).catch(() => {});
    const tapped = await browser.file_count() - before_taps;
    console.log(`${engine}: ${taps} quick taps of F12 saved ${tapped} files`);

    if (engine === 'chromium') await fits(browser, { width: 600, height: 400 });
    await browser.press('Escape', hold_ms);
    await eventually(5000, 'the page to say the demo has ended', () => browser.evaluate(
      () => /has ended/.test(document.getElementById('message').textContent)));

    const files = await browser.saved_files();
    const steps = replay_steps(files, started - 1, drawing);
    const seconds = (files[1].at - files[0].at) / 1000;
    const expected = Math.round(steps_per_second * seconds);
    console.log(`${engine}: the first two ${seconds.toFixed(3)} s apart, ` +
                `${steps[1] - steps[0]} steps (${expected} expected)`);
    assert.ok(Math.abs(steps[1] - steps[0] - expected) <= step_tolerance,
              `${steps[1] - steps[0]} steps apart, ${expected} expected`);
    const shown_seconds = (files[2].at - files[1].at - hidden_ms) / 1000;
    // A gap's steps pass with the frame that shows the page again, and
    // with each frame the engine still gives a hidden page.
    const gaps = 1 + Math.ceil(browser.hidden_frames_per_second * (hidden_ms / 1000 + 1));
    const most = Math.round(steps_per_second * shown_seconds) + gaps * steps_after_a_gap + step_tolerance;
    console.log(`${engine}: hidden for ${hidden_ms / 1000} s, ${steps[2] - steps[1]} steps (at most ${most})`);
    assert.ok(steps[2] - steps[1] <= most, `${steps[2] - steps[1]} steps after hiding: it caught up`);
    assert.equal(tapped, taps, 'files from quick taps of F12');
    if (browser.downloads) assert.equal(browser.downloads(), files.length, 'files handed over but not downloaded');
    if (engine === 'chromium') await phone(browser);
    assert.deepEqual(await browser.outside(), [], 'requests left the page');
    assert.deepEqual(await browser.errors(), [], 'errors in the console');
  } finally {
    await browser.close();
  }
}

main().then(() => console.log(`page test passed in ${engine}`), (error) => {
  console.error(error.stack || String(error));
  process.exit(1);
});
