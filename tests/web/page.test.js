// The page in Debian's headless chromium: it draws the cube field, turns, ends, and says why.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const http = require('node:http');
const path = require('node:path');
const puppeteer = require('puppeteer-core');

const pageDir = process.env.ZV_PAGE_DIR || path.resolve(__dirname, '../../build-web');
const chromium = process.env.ZV_CHROMIUM || '/usr/bin/chromium';
const background = [51, 77, 77];  // the clear colour (0.2, 0.3, 0.3) in bytes
const deadline = {timeout: 60000};

const missing = !fs.existsSync(chromium) ? `no chromium at ${chromium}`
  : !fs.existsSync(path.join(pageDir, 'index.html')) ? `no page in ${pageDir}: run scripts/build-web.sh`
  : '';

// A static server of the page on 127.0.0.1 only, on a port the system picks.
function servePage() {
  const types = {'.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm'};
  const server = http.createServer((request, response) => {
    const name = path.basename(new URL(request.url, 'http://127.0.0.1').pathname) || 'index.html';
    const file = path.join(pageDir, name);
    if (!(path.extname(name) in types) || !fs.existsSync(file)) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, {'Content-Type': types[path.extname(name)]});
    fs.createReadStream(file).pipe(response);
  });
  return new Promise(resolve => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// A fresh browser on the page, with a count of the frames the viewer has finished.
async function openPage(t, extraArgs = []) {
  const server = await servePage();
  const browser = await puppeteer.launch({
    executablePath: chromium,
    headless: true,
    args: ['--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--no-sandbox', ...extraArgs],
  });
  t.after(async () => {
    await browser.close();
    server.close();
  });
  const page = await browser.newPage();
  await page.setViewport({width: 800, height: 600});
  await page.evaluateOnNewDocument(() => {
    window.zvFrames = 0;
    const request = window.requestAnimationFrame.bind(window);
    window.requestAnimationFrame = callback => request(time => {
      window.zvFrames++;
      callback(time);
    });
  });
  await page.goto(`http://127.0.0.1:${server.address().port}/index.html`);
  return page;
}

async function framesAfterNow(page, count) {
  const now = await page.evaluate(() => window.zvFrames);
  await page.waitForFunction(n => window.zvFrames >= n, deadline, now + count);
}

// The canvas's pixels as the screen shows them, RGBA, row by row from the top.
async function canvasPixels(page) {
  const shot = await page.screenshot({encoding: 'base64', clip: {x: 0, y: 0, width: 800, height: 600}});
  return page.evaluate(async data => {
    const image = new Image();
    image.src = 'data:image/png;base64,' + data;
    await image.decode();
    const canvas = document.createElement('canvas');
    canvas.width = 800;
    canvas.height = 600;
    const context = canvas.getContext('2d');
    context.drawImage(image, 0, 0);
    return Array.from(context.getImageData(0, 0, 800, 600).data);
  }, shot);
}

function isBackground(pixels, at) {
  return background.every((value, i) => Math.abs(pixels[at + i] - value) <= 2);
}

function countDiffering(a, b) {
  let count = 0;
  for (let at = 0; at < a.length; at += 4) {
    if (a[at] !== b[at] || a[at + 1] !== b[at + 1] || a[at + 2] !== b[at + 2]) {
      count++;
    }
  }
  return count;
}

const lineOf = page => page.evaluate(() => {
  const line = document.getElementById('line');
  return line.hidden ? '' : line.textContent;
});

test('the page', {skip: missing || false}, async t => {
  await t.test('draws the cube field under the prompt until the first click', async t => {
    const page = await openPage(t);
    await framesAfterNow(page, 3);
    assert.strictEqual(await page.title(), 'ZORAVAROVA');
    assert.strictEqual(await lineOf(page), 'Click to turn the view. Escape ends.');
    const pixels = await canvasPixels(page);
    // The corners are background; the field covers a good share of the middle.
    for (const [x, y] of [[2, 2], [797, 2], [2, 597], [797, 597]]) {
      assert.ok(isBackground(pixels, (y * 800 + x) * 4), `background at ${x},${y}`);
    }
    let cubes = 0;
    for (let y = 150; y < 450; y++) {
      for (let x = 200; x < 600; x++) {
        cubes += isBackground(pixels, (y * 800 + x) * 4) ? 0 : 1;
      }
    }
    assert.ok(cubes > 0.2 * 300 * 400, `${cubes} pixels of cubes in the middle`);
  });

  await t.test('turns after the click, and Escape ends it with 0', async t => {
    const page = await openPage(t);
    await framesAfterNow(page, 3);
    await page.mouse.click(400, 300);
    await page.waitForFunction(() => document.pointerLockElement !== null, deadline);
    assert.strictEqual(await lineOf(page), '');
    await framesAfterNow(page, 2);
    const before = await canvasPixels(page);
    await page.mouse.move(700, 300, {steps: 5});
    await framesAfterNow(page, 2);
    const after = await canvasPixels(page);
    assert.ok(countDiffering(before, after) > 20000, 'the view turned');
    await page.keyboard.press('Escape');
    await page.waitForFunction(() => window.zvExitCode !== undefined, deadline);
    assert.strictEqual(await page.evaluate(() => window.zvExitCode), 0);
    assert.strictEqual(await lineOf(page), 'The viewer has ended.');
  });

  await t.test('runs on when the lock goes with the focus elsewhere', async t => {
    const page = await openPage(t);
    await framesAfterNow(page, 3);
    await page.mouse.click(400, 300);
    await page.waitForFunction(() => document.pointerLockElement !== null, deadline);
    await page.evaluate(() => {
      document.hasFocus = () => false;
      document.exitPointerLock();
    });
    await page.waitForFunction(() => document.pointerLockElement === null, deadline);
    await framesAfterNow(page, 3);
    assert.strictEqual(await page.evaluate(() => window.zvExitCode), undefined);
  });

  await t.test('says so, and the viewer returns -1, without WebGL 2', async t => {
    const page = await openPage(t, ['--disable-webgl2']);
    await page.waitForFunction(() => window.zvExitCode !== undefined, deadline);
    assert.strictEqual(await page.evaluate(() => window.zvExitCode), -1);
    assert.strictEqual(await lineOf(page), 'This browser has no WebGL 2.');
  });
});
