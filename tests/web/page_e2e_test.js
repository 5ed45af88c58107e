// ribbons.html end to end in one browser engine (browsers.js), by real key
// events, in the cross-build test's terms; in Chromium also in a small window
// and as a phone. Run as `node page_e2e_test.js ENGINE PAGE FIND_SCENE_STEP
// WORK_DIR`, FIND_SCENE_STEP being the scene replay built with emscripten,
// so that its `rand` is the page's (musl's).
'use strict';
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { launch, sleep, eventually } = require('./browsers.js');

const [engine, page_file, find_scene_step, work_dir] = process.argv.slice(2);
const steps_per_second = 50;
const screenshot_interval_ms = 2000;
// As in the cross-build test: a quarter of the interval, either way.
const step_tolerance = 25;
const hidden_ms = 3000;
// The page's timer lets at most this many missed steps through after a gap.
const steps_after_a_gap = 13;
// Held as a person holds a key; quick taps go down and up back to back, this far apart.
const hold_ms = 400;
const taps = 5;
const tap_interval_ms = 600;

// Whether a box of the canvas shows `colour` (0xRRGGBB), or with none, any but black;
// judged in the page, as a frame's worth of numbers does not come back whole from every engine.
const canvas_shows = (browser, [x, y, w, h], colour = null) => browser.evaluate((x, y, w, h, colour) => {
  const data = document.getElementById('screen').getContext('2d').getImageData(x, y, w, h).data;
  for (let i = 0; i < data.length; i += 4) {
    const pixel = data[i] << 16 | data[i + 1] << 8 | data[i + 2];
    if (colour === null ? pixel !== 0 : pixel === colour) return true;
  }
  return false;
}, x, y, w, h, colour);
// White at (565, 2): no shape is ever pure white.
const fps_shown = (browser) => canvas_shows(browser, [565, 2, 75, 8], 0xffffff);
const times_said = (browser, text) => browser.evaluate(
  (text) => document.getElementById('message').textContent.split(text).length - 1, text);
const files_reach = (browser, count, what, timeout_ms = 5000) =>
  eventually(timeout_ms, what, async () => await browser.file_count() === count);

async function save_frame(browser, count, what) {
  await browser.press('F12', hold_ms);
  await files_reach(browser, count, what);
}

// The seeds `time` can have given the page: from just before it opened to its first frame.
async function open_page(browser, what) {
  const first_seed = Math.floor(Date.now() / 1000) - 1;
  await browser.open(page_file);
  await eventually(30000, what, () => canvas_shows(browser, [0, 0, 640, 480]));
  return [first_seed, Math.ceil(Date.now() / 1000)];
}

// The steps of the replay that show each saved file, in order.
function replay_steps(files, [first_seed, last_seed]) {
  const names = files.map((file, index) => path.join(work_dir, `saved-${index}.bmp`));
  files.forEach((file, index) => fs.writeFileSync(names[index], file.bytes));
  const args = [find_scene_step, first_seed, last_seed, steps_per_second * 30, ...names].map(String);
  const replay = spawnSync(process.execPath, ['--no-experimental-fetch', ...args], { encoding: 'utf8' });
  const match = replay.status === 0 && /seed (\d+) steps ([\d ]+)/.exec(replay.stdout);
  assert.ok(match, `no seed from ${first_seed} to ${last_seed} replays every saved file:\n` +
                   (replay.error || replay.stdout + replay.stderr));
  console.log(`${engine}: seed ${match[1]}, files at steps ${match[2]}`);
  return match[2].split(' ').map(Number);
}

// The first two files the interval's steps apart; the third, after the page was hidden,
// no more than the steps it was shown for and what a gap lets through with the frame
// that shows it again and with each frame the engine still gives a hidden page.
function check_step_gaps(browser, files, steps) {
  const expected = Math.round(steps_per_second * (files[1].at - files[0].at) / 1000);
  console.log(`${engine}: ${steps[1] - steps[0]} steps between the first two (${expected} expected)`);
  assert.ok(Math.abs(steps[1] - steps[0] - expected) <= step_tolerance,
            `${steps[1] - steps[0]} steps apart, ${expected} expected`);
  const gaps = 1 + Math.ceil(browser.hidden_frames_per_second * (hidden_ms / 1000 + 1));
  const most = Math.round(steps_per_second * (files[2].at - files[1].at - hidden_ms) / 1000) +
               gaps * steps_after_a_gap + step_tolerance;
  console.log(`${engine}: hidden for ${hidden_ms / 1000} s, ${steps[2] - steps[1]} steps (at most ${most})`);
  assert.ok(steps[2] - steps[1] <= most, `${steps[2] - steps[1]} steps after hiding: it caught up`);
}

// Stays in its folder, said once while frames go by, not handed over.
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

async function quick_taps_each_save(browser) {
  const before = await browser.file_count();
  for (let i = 0; i < taps; ++i) {
    await browser.press('F12', 0);
    await sleep(tap_interval_ms);
  }
  await files_reach(browser, before + taps, 'a file from every tap', 2000).catch(() => {});
  assert.equal(await browser.file_count() - before, taps, `files from ${taps} quick taps of F12`);
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

const touch_button = async (browser, name) => browser.touch(...await browser.evaluate((name) => {
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
  const seeds = await open_page(browser, 'the phone\'s first frame');
  const { share } = await fits(browser, upright);
  console.log(`upright phone: the scene takes ${(100 * share).toFixed(1)}% of the width`);
  assert.ok(share >= 0.9, 'the scene spans less than 90% of an upright phone');
  await touch_button(browser, 'Frame rate');
  await eventually(5000, 'the FPS text from its button', () => fps_shown(browser));
  await touch_button(browser, 'Save frame');
  await files_reach(browser, 1, 'the file from Save frame');
  replay_steps(await browser.saved_files(), seeds);
  await browser.evaluate(() => document.getElementById('screen').focus());
  await browser.press('Tab', 0);
  assert.equal(await browser.evaluate(() => document.activeElement.textContent), 'Frame rate', 'Tab stayed');
  await browser.press(' ', 0);
  await eventually(5000, 'Space on the focused button to hide the FPS text', async () => !await fps_shown(browser));
  await full_screen_and_esc_leaves_it(browser);
  await touch_button(browser, 'Frame rate');
  await eventually(5000, 'the demo to go on after Esc left full screen', () => fps_shown(browser));
  const { scale } = await fits(browser, { ...upright, width: upright.height, height: upright.width });
  assert.ok(Number.isInteger(scale), `on its side the scene is ${scale} times 640 display pixels`);
  await touch_button(browser, 'End');
  await eventually(5000, 'End to end the demo', () => times_said(browser, 'has ended'));
}

async function full_screen_and_esc_leaves_it(browser) {
  await touch_button(browser, 'Full screen');
  const in_full_screen = () => browser.evaluate(() => !!document.fullscreenElement);
  if (await eventually(2000, 'full screen', in_full_screen).catch(() => false)) {
    await browser.press('Escape', hold_ms);
    await eventually(2000, 'Esc to leave full screen', async () => !await in_full_screen());
  } else console.log('full screen skipped: headless Chromium did not enter it');
}

async function main() {
  fs.rmSync(work_dir, { recursive: true, force: true });
  fs.mkdirSync(work_dir, { recursive: true });
  const browser = await launch(engine, work_dir);
  try {
    const seeds = await open_page(browser, 'the first frame');
    await browser.press('F1', hold_ms);
    await eventually(5000, 'the FPS text after F1', () => fps_shown(browser));
    await save_frame(browser, 1, 'the first screenshot');
    await sleep(screenshot_interval_ms);
    await save_frame(browser, 2, 'the second screenshot');
    await browser.hide_for(hidden_ms);
    await save_frame(browser, 3, 'the screenshot after the page was hidden');
    await unreadable_screenshot_is_kept(browser);
    await quick_taps_each_save(browser);
    if (engine === 'chromium') await fits(browser, { width: 600, height: 400 });
    await browser.press('Escape', hold_ms);
    await eventually(5000, 'the page to say the demo has ended', () => times_said(browser, 'has ended'));

    const files = await browser.saved_files();
    check_step_gaps(browser, files, replay_steps(files, seeds));
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
