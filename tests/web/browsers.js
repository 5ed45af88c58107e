// The three browser engines the page test drives, behind one interface so the
// checks read the same in each: Debian's Chromium and Firefox ESR through
// puppeteer-core (CDP and WebDriver BiDi), WebKitGTK's MiniBrowser through
// WebKitWebDriver's HTTP on a private Xvfb. Only Chromium's driver sees
// downloads, so a hook run before the page's own scripts keeps every Blob the
// page turns into a link, with the time it did.
'use strict';
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const net = require('node:net');
const path = require('node:path');

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

// Errors are kept too, for the engine whose driver cannot read the console.
function install_page_hook() {
  const kept = { files: [], errors: [] };
  Object.defineProperty(window, '__ribbons_test', { value: kept });
  const create = URL.createObjectURL;
  URL.createObjectURL = function (object) {
    if (object instanceof Blob) kept.files.push({ blob: object, at: Date.now() });
    return create.apply(this, arguments);
  };
  const error = console.error;
  console.error = function (...parts) {
    kept.errors.push(parts.join(' '));
    return error.apply(this, parts);
  };
  window.addEventListener('error', (event) => kept.errors.push(String(event.message)));
  window.addEventListener('unhandledrejection', (event) => kept.errors.push(String(event.reason)));
}
const page_hook = `(${install_page_hook})();`;

// One file per evaluate, as base64: Firefox returns a large array as undefined.
const file_base64 = (index) => new Promise((resolve, reject) => {
  const reader = new FileReader();
  reader.onload = () => resolve(reader.result.slice(reader.result.indexOf(',') + 1));
  reader.onerror = () => reject(reader.error);
  reader.readAsDataURL(window.__ribbons_test.files[index].blob);
});

function with_common_calls(browser) {
  // What the page fetched from anywhere but itself.
  browser.outside = async () => (await browser.requested()).filter((url) => !/^(file|data|blob):/.test(url));
  const file_times = () => browser.evaluate(() => window.__ribbons_test.files.map((file) => file.at));
  browser.file_count = async () => (await file_times()).length;
  // The files handed over so far, with the page's clock when it did.
  browser.saved_files = async () => {
    const files = [];
    for (const [index, at] of (await file_times()).entries()) {
      files.push({ at, bytes: Buffer.from(await browser.evaluate(file_base64, index), 'base64') });
    }
    return files;
  };
  return browser;
}

const puppeteer_options = {
  chromium: { executablePath: '/usr/bin/chromium',
              args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
                     '--disable-component-update', '--disable-sync'] },
  firefox: { browser: 'firefox', executablePath: '/usr/bin/firefox-esr' },
};

async function launch_puppeteer(engine, work_dir) {
  const browser = await require('puppeteer-core').launch({ ...puppeteer_options[engine], headless: true,
    userDataDir: path.join(work_dir, `profile-${engine}`), env: { ...process.env, TMPDIR: work_dir } });
  try {
    const page = await browser.newPage();
    const requested = [], errors = [];
    page.on('request', (request) => requested.push(request.url()));
    page.on('console', (message) => { if (message.type() === 'error') errors.push(message.text()); });
    page.on('pageerror', (error) => errors.push(String(error)));
    await page.evaluateOnNewDocument(page_hook);
    return with_common_calls({
      open: (file) => page.goto('file://' + path.resolve(file)),
      evaluate: (fn, ...args) => page.evaluate(fn, ...args),
      press: (key, hold_ms) => page.keyboard.press(key, { delay: hold_ms }),
      errors: async () => errors,
      requested: async () => requested,
      // Another tab in front hides the page, and the browser gives it no frames.
      hide_for: async (ms) => {
        const other = await browser.newPage();
        await other.bringToFront();
        await sleep(ms);
        await page.bringToFront();
        await other.close();
      },
      // Firefox still gives a hidden page a frame a second (layout.throttled_frame_rate).
      hidden_frames_per_second: engine === 'firefox' ? 1 : 0,
      downloads: engine === 'chromium' ? await count_chromium_downloads(browser, work_dir) : null,
      emulate: (viewport) => page.setViewport(viewport),
      touch: (x, y) => page.touchscreen.tap(x, y),
      close: () => browser.close(),
    });
  } catch (error) {
    await browser.close();
    throw error;
  }
}

// The hook sees what the page hands over; that the browser then really
// downloads it, only Chromium's driver can tell.
async function count_chromium_downloads(browser, work_dir) {
  const session = await browser.target().createCDPSession();
  await session.send('Browser.setDownloadBehavior',
                     { behavior: 'allowAndName', downloadPath: path.join(work_dir, 'downloads'), eventsEnabled: true });
  let completed = 0;
  session.on('Browser.downloadProgress', (event) => { if (event.state === 'completed') ++completed; });
  return () => completed;
}

const webdriver_at = (base) => async (method, route, body) => {
  const response = await fetch(base + route, { method, headers: { 'content-type': 'application/json' },
                                               body: body && JSON.stringify(body), signal: AbortSignal.timeout(60000) });
  const { value } = await response.json();
  if (!response.ok) throw new Error(`WebDriver ${method} ${route}: ${value.error}: ${value.message}`);
  return value;
};

// A helper process, killed if it fails or is not ready within 10 s.
async function until_ready(child, what, ready) {
  let failure = null;
  child.on('error', (error) => { failure = error; });
  child.on('exit', (code) => { failure = new Error(`stopped (${code})`); });
  await eventually(10000, what, async () => {
    if (failure) throw new Error(`${what}: ${failure.message}`);
    return ready();
  }).catch((error) => { child.kill(); throw error; });
}

// On a display number Xvfb picks itself (-displayfd), so the test never
// meets a desktop session or another test.
async function start_xvfb() {
  const xvfb = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '1024x768x24', '-nolisten', 'tcp'],
                     { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] });
  let written = '';
  xvfb.stdio[3].on('data', (data) => { written += data; });
  await until_ready(xvfb, 'Xvfb', () => written.includes('\n'));
  return { process: xvfb, display: ':' + written.trim() };
}

function free_port() {
  return new Promise((resolve, reject) => {
    const server = net.createServer().listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    }).on('error', reject);
  });
}

async function start_webkit_driver(display) {
  const port = await free_port();
  const driver = spawn('WebKitWebDriver', [`--port=${port}`],
                       { stdio: ['ignore', 'ignore', 'inherit'], env: { ...process.env, DISPLAY: display } });
  const request = webdriver_at(`http://127.0.0.1:${port}`);
  const answers = () => request('GET', '/status').then((status) => status.ready, () => false);
  await until_ready(driver, 'WebKitWebDriver', answers);
  return { process: driver, request };
}

function mini_browser() {
  const found = fs.readdirSync('/usr/lib')
    .map((folder) => path.join('/usr/lib', folder, 'webkit2gtk-4.1', 'MiniBrowser'))
    .find((file) => fs.existsSync(file));
  if (!found) throw new Error('no /usr/lib/*/webkit2gtk-4.1/MiniBrowser: is webkit2gtk-driver installed?');
  return found;
}

// The page with the hook as its first script: WebDriver's classic HTTP has
// no way to run a script before a page's own.
function page_with_hook(page_file, work_dir) {
  const page = fs.readFileSync(page_file, 'utf8');
  const hooked = page.replace(/<head[^>]*>/i, (head) => `${head}<script>${page_hook}</script>`);
  if (hooked === page) throw new Error(`${page_file} has no <head>`);
  const copy = path.resolve(work_dir, 'page-with-hook.html');
  fs.writeFileSync(copy, hooked);
  return copy;
}

const webdriver_keys = { F1: '\uE031', F12: '\uE03C', Escape: '\uE00C' };

function key_actions(key, hold_ms) {
  const value = webdriver_keys[key];
  const hold = hold_ms ? [{ type: 'pause', duration: hold_ms }] : [];
  return [{ type: 'key', id: 'keyboard', actions: [{ type: 'keyDown', value }, ...hold, { type: 'keyUp', value }] }];
}

async function launch_webkit(work_dir) {
  const binary = mini_browser();
  const xvfb = await start_xvfb();
  let driver;
  const stop = () => { driver?.process.kill(); xvfb.process.kill(); };
  try {
    driver = await start_webkit_driver(xvfb.display);
    const { sessionId } = await driver.request('POST', '/session', {
      capabilities: { alwaysMatch: { 'webkitgtk:browserOptions': { binary, args: ['--automation'] } } },
    });
    const session = (method, route, body) => driver.request(method, `/session/${sessionId}${route}`, body);
    const evaluate = (fn, ...args) => session('POST', '/execute/sync', {
      script: `return (${fn}).apply(null, arguments);`, args,
    });
    return with_common_calls({
      open: (file) => session('POST', '/url', { url: 'file://' + page_with_hook(file, work_dir) }),
      evaluate,
      press: (key, hold_ms) => session('POST', '/actions', { actions: key_actions(key, hold_ms) }),
      errors: () => evaluate(() => window.__ribbons_test.errors),
      requested: () => evaluate(() => performance.getEntriesByType('resource').map((entry) => entry.name)),
      // MiniBrowser does not hide a tab behind another; a minimised window
      // is hidden, and the page gets no frames.
      hide_for: async (ms) => {
        const rect = await session('GET', '/window/rect');
        await session('POST', '/window/minimize', {});
        await sleep(ms);
        await session('POST', '/window/rect', rect);
      },
      hidden_frames_per_second: 0,
      downloads: null,
      close: () => session('DELETE', '').finally(stop),
    });
  } catch (error) {
    stop();
    throw error;
  }
}

async function launch(engine, work_dir) {
  if (engine === 'webkit') return launch_webkit(work_dir);
  if (Object.hasOwn(puppeteer_options, engine)) return launch_puppeteer(engine, work_dir);
  throw new Error(`no browser engine called ${engine}`);
}

module.exports = { launch, sleep, eventually };
