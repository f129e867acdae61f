// The page in Debian's headless chromium: it draws the cube field, turns, ends, and says why.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');
const {execFileSync} = require('node:child_process');
const puppeteer = require('puppeteer-core');

const pageDir = process.env.ZV_PAGE_DIR || path.resolve(__dirname, '../../build-web');
const chromium = process.env.ZV_CHROMIUM || '/usr/bin/chromium';
// The desktop's picture model and tolerance, as a command (tests/page_picture_compare.cpp).
const comparer = process.env.ZV_PICTURE_COMPARE ||
  path.resolve(__dirname, '../../build/tests/page-picture-compare');
const assetDir = path.resolve(__dirname, '../../assets');
const background = [51, 77, 77];  // the clear colour (0.2, 0.3, 0.3) in bytes
const deadline = {timeout: 60000};

const noComparer = fs.existsSync(comparer) ? ''
  : `no ${comparer}: cmake --build build --target page-picture-compare`;

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
    // The cursor positions the viewer is given: in the lock, the moves over the canvas summed
    // from where it was when the lock came (the click), as offsets from there.
    window.zvCursor = [0, 0];
    window.zvPositions = [];
    window.addEventListener('mousemove', event => {
      if (document.pointerLockElement !== null && event.target.id === 'canvas') {
        window.zvCursor = [window.zvCursor[0] + event.movementX, window.zvCursor[1] + event.movementY];
        window.zvPositions.push(window.zvCursor);
      }
    }, true);
    const request = window.requestAnimationFrame.bind(window);
    window.requestAnimationFrame = callback => request(time => {
      window.zvFrames++;
      callback(time);
    });
  });
  await page.goto(`http://127.0.0.1:${server.address().port}/index.html`);
  return page;
}

// The canvas as a PNG file for the comparer, which holds it against the ray cast of the view the
// viewer's callback makes of `positions`: the cursor positions it got, in order.
let shotDir = '';
async function compareWithModel(page, name, positions) {
  const file = path.join(shotDir, `${name}.png`);
  await page.screenshot({path: file, clip: {x: 0, y: 0, width: 800, height: 600}});
  const output = execFileSync(comparer, [file, ...positions.flat().map(String)], {encoding: 'utf8'});
  return JSON.parse(output);
}

function assertMatchesModel(result, what) {
  assert.ok(result.compared > 100, `${what}: only ${result.compared} pixels compared`);
  assert.strictEqual(result.mismatched, 0, `${what}: ${result.firstMismatch}`);
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

// A LEB128 unsigned number at `at`: its value and where the next field starts.
function readLeb(bytes, at) {
  let value = 0;
  let scale = 1;
  for (;;) {
    const byte = bytes[at++];
    value += (byte & 0x7f) * scale;
    scale *= 128;
    if ((byte & 0x80) === 0) {
      return [value, at];
    }
  }
}

// Every section of a WebAssembly module: id, name (custom sections), payload.
function wasmSections(bytes) {
  assert.deepStrictEqual([...bytes.subarray(0, 8)], [0, 0x61, 0x73, 0x6d, 1, 0, 0, 0]);
  const sections = [];
  for (let at = 8; at < bytes.length;) {
    const id = bytes[at];
    const [size, start] = readLeb(bytes, at + 1);
    const end = start + size;
    assert.ok(end <= bytes.length, `section ${sections.length} runs past the end`);
    let name = '';
    let payload = start;
    if (id === 0) {
      const [length, nameStart] = readLeb(bytes, start);
      name = Buffer.from(bytes.subarray(nameStart, nameStart + length)).toString('utf8');
      payload = nameStart + length;
    }
    sections.push({id, name, payload, end});
    at = end;
  }
  return sections;
}

test('the served module', {skip: missing || false}, async t => {
  const server = await servePage();
  t.after(() => server.close());
  const response = await fetch(`http://127.0.0.1:${server.address().port}/zoravarova.wasm`);
  assert.strictEqual(response.status, 200);
  const bytes = new Uint8Array(await response.arrayBuffer());
  const last = wasmSections(bytes).at(-1);
  assert.strictEqual(last.id, 0);
  assert.strictEqual(last.name, 'zoravarova.assets');
  // Five little-endian words first, then the pictures at the file offsets they give.
  const view = new DataView(bytes.buffer, bytes.byteOffset + last.payload, 20);
  const [secondSize, secondOffset, firstSize, firstOffset] = [0, 4, 8, 12].map(
    at => view.getUint32(at, true));
  const first = fs.readFileSync(path.join(assetDir, 'first.jpg'));
  const second = fs.readFileSync(path.join(assetDir, 'second.png'));
  assert.strictEqual(firstSize, first.length);
  assert.strictEqual(secondSize, second.length);
  for (const offset of [firstOffset, secondOffset]) {
    assert.ok(offset >= last.payload + 20 && offset < last.end, `offset ${offset} in the section`);
  }
  assert.ok(first.equals(bytes.subarray(firstOffset, firstOffset + firstSize)), 'the JPEG');
  assert.ok(second.equals(bytes.subarray(secondOffset, secondOffset + secondSize)), 'the PNG');
});

test('the page', {skip: missing || false}, async t => {
  shotDir = fs.mkdtempSync(path.join(os.tmpdir(), 'zv-page-'));
  t.after(() => fs.rmSync(shotDir, {recursive: true, force: true}));
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

  await t.test('shows the desktop\'s picture, turns inside the windows only, ends on Escape',
               {skip: noComparer || false}, async t => {
    const page = await openPage(t);
    await framesAfterNow(page, 3);
    await page.mouse.click(400, 300);
    await page.waitForFunction(() => document.pointerLockElement !== null, deadline);
    assert.strictEqual(await lineOf(page), '');
    await framesAfterNow(page, 2);
    // The click gives the viewer no cursor position: the view is the starting one.
    assertMatchesModel(await compareWithModel(page, 'start', []), 'at the start');

    // Each move is awaited until the page has it, so the model is given the positions that the
    // viewer got, the browser's own included (chromium adds a still move as the lock comes).
    const moveTo = async (x, y) => {
      await page.mouse.move(x, y);
      await page.waitForFunction(([dx, dy]) => window.zvCursor[0] === dx && window.zvCursor[1] === dy,
                                 deadline, [x - 400, y - 300]);
      await framesAfterNow(page, 2);
    };
    const positions = async () => (await page.evaluate(() => window.zvPositions))
      .map(([dx, dy]) => [400 + dx, 300 + dy]);
    await moveTo(401, 300);
    await moveTo(501, 200);  // heading about -80, elevation 10
    const turned = await canvasPixels(page);
    assertMatchesModel(await compareWithModel(page, 'turned', await positions()), 'turned');
    await moveTo(651, 200);  // heading about -65: inside the refused band
    assert.strictEqual(countDiffering(turned, await canvasPixels(page)), 0, 'the view stayed');
    assertMatchesModel(await compareWithModel(page, 'refused', await positions()), 'refused');

    await page.keyboard.press('Escape');
    await page.waitForFunction(() => window.zvExitCode !== undefined, deadline);
    assert.strictEqual(await page.evaluate(() => window.zvExitCode), 0);
    assert.strictEqual(await lineOf(page), 'The viewer has ended.');
  });

  await t.test('ends with 0 when the browser spends the Escape on the lock', async t => {
    const page = await openPage(t);
    await framesAfterNow(page, 3);
    await page.mouse.click(400, 300);
    await page.waitForFunction(() => document.pointerLockElement !== null, deadline);
    // The lock goes with the page shown and focused, and no key reaches the page.
    await page.evaluate(() => document.exitPointerLock());
    await page.waitForFunction(() => window.zvExitCode !== undefined, deadline);
    assert.strictEqual(await page.evaluate(() => window.zvExitCode), 0);
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
