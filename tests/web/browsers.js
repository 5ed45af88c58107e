// The three browser engines the page test drives, behind one small interface,
// so the checks read the same in each: Debian's Chromium and Firefox ESR
// through puppeteer-core (over CDP and WebDriver BiDi), and WebKitGTK's
// MiniBrowser through WebKitWebDriver's plain HTTP on a private Xvfb.
//
//   const browser = await launch('chromium' | 'firefox' | 'webkit', work_dir);
//   await browser.open(page_file);           // the page, with the file hook
//   await browser.evaluate(fn, ...args);     // fn's result, as JSON
//   await browser.press(key, hold_ms);       // 'F1', 'F12' or 'Escape'
//   await browser.tap(key);                  // press and release back to back
//   await browser.errors();  await browser.outside();
//   await browser.hide_for(ms);              // the page hidden for a while
//   browser.hidden_frames_per_second         // what the engine still gives it
//   browser.downloads()                      // null where downloads cannot be seen
//   await browser.emulate(viewport);  await browser.touch(x, y);  // Chromium only
//   await browser.close();
//
// Files: no driver but Chromium's can catch a download, so a hook, in place
// before the page's own scripts run, keeps every Blob the page turns into a
// link, with the time it did; saved_files() reads them back, one per
// evaluate and as base64, since Firefox returns a large array as undefined.
'use strict';
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const net = require('node:net');
const path = require('node:path');

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Runs in the page before anything else. Errors are kept too, for the
// engine whose driver cannot read the console.
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

const file_times = () => window.__ribbons_test.files.map((file) => file.at);
const file_base64 = (index) => new Promise((resolve, reject) => {
  const reader = new FileReader();
  reader.onload = () => resolve(reader.result.slice(reader.result.indexOf(',') + 1));
  reader.onerror = () => reject(reader.error);
  reader.readAsDataURL(window.__ribbons_test.files[index].blob);
});
const hooked_errors = () => window.__ribbons_test.errors;
// Resources the page fetched from anywhere but itself.
const resources_outside = () => performance.getEntriesByType('resource').map((entry) => entry.name)
  .filter((url) => !/^(file|data|blob):/.test(url));

// What every engine shares once it can evaluate in the page.
function with_common_calls(browser) {
  browser.file_count = async () => (await browser.evaluate(file_times)).length;
  // The files handed over so far, with the page's clock when it did.
  browser.saved_files = async () => {
    const times = await browser.evaluate(file_times);
    const files = [];
    for (const [index, at] of times.entries()) {
      files.push({ at, bytes: Buffer.from(await browser.evaluate(file_base64, index), 'base64') });
    }
    return files;
  };
  return browser;
}

// Chromium and Firefox: the same puppeteer calls over CDP and BiDi.
async function launch_puppeteer(engine, work_dir) {
  const puppeteer = require('puppeteer-core');
  const options = engine === 'firefox'
    ? { browser: 'firefox', executablePath: '/usr/bin/firefox-esr' }
    : { executablePath: '/usr/bin/chromium',
        args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
               '--disable-component-update', '--disable-sync'] };
  const browser = await puppeteer.launch({
    ...options, headless: true, userDataDir: path.join(work_dir, `profile-${engine}`),
    env: { ...process.env, TMPDIR: work_dir },
  });
  try {
    const page = await browser.newPage();
    const outside = [], errors = [];
    page.on('request', (request) => {
      if (!/^(file|data|blob):/.test(request.url())) outside.push(request.url());
    });
    page.on('console', (message) => { if (message.type() === 'error') errors.push(message.text()); });
    page.on('pageerror', (error) => errors.push(String(error)));
    await page.evaluateOnNewDocument(page_hook);
    const downloads = engine === 'chromium' ? await count_chromium_downloads(browser, work_dir) : null;
    return with_common_calls({
      open: (file) => page.goto('file://' + path.resolve(file)),
      evaluate: (fn, ...args) => page.evaluate(fn, ...args),
      press: async (key, hold_ms) => {
        await page.keyboard.down(key);
        await sleep(hold_ms);
        await page.keyboard.up(key);
      },
      tap: async (key) => {
        await page.keyboard.down(key);
        await page.keyboard.up(key);
      },
      errors: async () => errors,
      outside: async () => outside,
      // Another tab in front hides the page, and the browser gives it no frames.
      hide_for: async (ms) => {
        const other = await browser.newPage();
        await other.bringToFront();
        await sleep(ms);
        await page.bringToFront();
        await other.close();
      },
      // Firefox still gives a hidden page a frame a second
      // (layout.throttled_frame_rate); Chromium gives it none.
      hidden_frames_per_second: engine === 'firefox' ? 1 : 0,
      downloads,
      // Chromium's device emulation: the window's size and pixel ratio, and a finger.
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
  await session.send('Browser.setDownloadBehavior', {
    behavior: 'allowAndName', downloadPath: path.join(work_dir, 'downloads'), eventsEnabled: true,
  });
  let completed = 0;
  session.on('Browser.downloadProgress', (event) => { if (event.state === 'completed') ++completed; });
  return () => completed;
}

// WebDriver key values of the keys the test presses.
const webdriver_keys = { F1: '\uE031', F12: '\uE03C', Escape: '\uE00C' };
const driver_timeout_ms = 60000;

async function webdriver(base, method, route, body) {
  const response = await fetch(base + route, {
    method, headers: { 'content-type': 'application/json' },
    body: body === undefined ? undefined : JSON.stringify(body),
    signal: AbortSignal.timeout(driver_timeout_ms),
  });
  const { value } = await response.json();
  if (!response.ok) throw new Error(`WebDriver ${method} ${route}: ${value.error}: ${value.message}`);
  return value;
}

// Xvfb on a display number it picks itself (-displayfd), so the test never
// meets a desktop session or another test.
function start_xvfb() {
  const xvfb = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '1024x768x24', '-nolisten', 'tcp'],
                     { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] });
  return new Promise((resolve, reject) => {
    const too_late = setTimeout(() => {
      xvfb.kill();
      reject(new Error('Xvfb was not ready within 10 s'));
    }, 10000);
    let written = '';
    xvfb.stdio[3].on('data', (data) => {
      written += data;
      if (!written.includes('\n')) return;
      clearTimeout(too_late);
      resolve({ process: xvfb, display: ':' + written.trim() });
    });
    xvfb.on('error', (error) => reject(new Error(`cannot start Xvfb: ${error.message}`)));
    xvfb.on('exit', (code) => reject(new Error(`Xvfb stopped (${code}) before it was ready`)));
  });
}

function free_port() {
  return new Promise((resolve, reject) => {
    const server = net.createServer().listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    }).on('error', reject);
  });
}

function mini_browser() {
  const found = fs.readdirSync('/usr/lib')
    .map((folder) => path.join('/usr/lib', folder, 'webkit2gtk-4.1', 'MiniBrowser'))
    .find((file) => fs.existsSync(file));
  if (!found) throw new Error('no /usr/lib/*/webkit2gtk-4.1/MiniBrowser: is webkit2gtk-driver installed?');
  return found;
}

async function start_webkit_driver(display) {
  const port = await free_port();
  const driver = spawn('WebKitWebDriver', [`--port=${port}`], {
    stdio: ['ignore', 'ignore', 'inherit'], env: { ...process.env, DISPLAY: display },
  });
  const failed = new Promise((_, reject) => driver.on('error', (error) =>
    reject(new Error(`cannot start WebKitWebDriver: ${error.message}`))));
  const base = `http://127.0.0.1:${port}`;
  const ready = (async () => {
    for (let tries = 0; tries < 100; ++tries) {
      try {
        if ((await webdriver(base, 'GET', '/status')).ready) return;
      } catch (error) { /* not listening yet */ }
      await sleep(100);
    }
    throw new Error('WebKitWebDriver did not answer within 10 s');
  })();
  try {
    await Promise.race([ready, failed]);
  } catch (error) {
    driver.kill();
    throw error;
  }
  return { process: driver, base };
}

// The page with the hook as its first script: WebDriver's classic HTTP has
// no way to run a script before a page's own.
function page_with_hook(page_file, work_dir) {
  const page = fs.readFileSync(page_file, 'utf8');
  const head = /<head[^>]*>/i.exec(page);
  if (!head) throw new Error(`${page_file} has no <head>`);
  const copy = path.resolve(work_dir, 'page-with-hook.html');
  const at = head.index + head[0].length;
  fs.writeFileSync(copy, page.slice(0, at) + `<script>${page_hook}</script>` + page.slice(at));
  return copy;
}

async function launch_webkit(work_dir) {
  const binary = mini_browser();
  const xvfb = await start_xvfb();
  let driver;
  const stop = () => {
    driver?.process.kill();
    xvfb.process.kill();
  };
  try {
    driver = await start_webkit_driver(xvfb.display);
    const { sessionId } = await webdriver(driver.base, 'POST', '/session', {
      capabilities: { alwaysMatch: { 'webkitgtk:browserOptions': { binary, args: ['--automation'] } } },
    });
    const session = (method, route, body) =>
      webdriver(driver.base, method, `/session/${sessionId}${route}`, body);
    const keys = (...actions) => session('POST', '/actions', {
      actions: [{ type: 'key', id: 'keyboard', actions }],
    });
    const evaluate = (fn, ...args) => session('POST', '/execute/sync', {
      script: `return (${fn}).apply(null, arguments);`, args,
    });
    return with_common_calls({
      open: (file) => session('POST', '/url', { url: 'file://' + page_with_hook(file, work_dir) }),
      evaluate,
      press: (key, hold_ms) => keys({ type: 'keyDown', value: webdriver_keys[key] },
                                    { type: 'pause', duration: hold_ms },
                                    { type: 'keyUp', value: webdriver_keys[key] }),
      tap: (key) => keys({ type: 'keyDown', value: webdriver_keys[key] },
                         { type: 'keyUp', value: webdriver_keys[key] }),
      errors: () => evaluate(hooked_errors),
      outside: () => evaluate(resources_outside),
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
      close: async () => {
        try {
          await session('DELETE', '');
        } finally {
          stop();
        }
      },
    });
  } catch (error) {
    stop();
    throw error;
  }
}

async function launch(engine, work_dir) {
  if (engine === 'chromium' || engine === 'firefox') return launch_puppeteer(engine, work_dir);
  if (engine === 'webkit') return launch_webkit(work_dir);
  throw new Error(`no browser engine called ${engine}`);
}

module.exports = { launch };
