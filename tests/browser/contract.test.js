// The program's one real client: Chromium, headless, running a page from another origin
// whose script calls the program as the web application does (page/client.js); that origin
// is allowed in the program's access.json. A page from a third origin, not allowed
// (page/foreign.js), tries to print, disconnect and read the configuration first. The test
// starts a virtual printer, the program on its fixed port 9003 in a folder of its own, and
// static servers for the pages; then it checks what the pages saw, what the program logged
// and what the printer printed. Last, it opens the program's own page at
// https://localhost:9003/ as a shop's IT person would, and saves a screenshot of it in output/.
//
// Needs the normal build (BUILD_DIR, default ../../build) and /usr/bin/chromium; run it with
// `npm ci && npm test` here, or through scripts/test.sh.
'use strict';

const assert = require('node:assert/strict');
const { spawn } = require('node:child_process');
const crypto = require('node:crypto');
const fs = require('node:fs');
const http = require('node:http');
const https = require('node:https');
const os = require('node:os');
const path = require('node:path');
const readline = require('node:readline');
const { after, before, test } = require('node:test');
const { chromium } = require('playwright-core');

const buildDir = path.resolve(process.env.BUILD_DIR || path.join(__dirname, '..', '..', 'build'));
const programPort = 9003;
// Every wait is bounded so that a broken program fails the test instead of hanging it; the
// bound is not a speed requirement.
const patienceMs = 60000;

const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'browser-contract-'));
const certificateFile = path.join(buildDir, 'tests/support/server.crt');
const children = [];
let printer;
const pageServers = [];
let browser;
let printerPort;
let allowedPage;
let foreignPage;
let seen;
let seenByForeign;
let journalAfterForeign;
let logAfterForeign;

function startChild(executable, args, options) {
  const child = spawn(executable, args, { stdio: ['ignore', 'pipe', 'inherit'], ...options });
  children.push(child);
  return child;
}

// The virtual printer, on a free TCP port, prints "virtual-printer listening on PORT-TEXT"
// (tcp://127.0.0.1:PORT) when it is ready. It refuses the second receipt's end it is asked
// for: that of the receipt whose refusal the program's own page is to show.
function startPrinter() {
  printer = startChild(path.join(buildDir, 'tools/virtual-printer/virtual-printer'), [
    '--tcp', '0',
    '--journal', path.join(folder, 'journal.txt'),
    '--refuse', 'trend:2:2805',
  ]);
  return new Promise((resolve, reject) => {
    const prefix = 'virtual-printer listening on ';
    readline.createInterface({ input: printer.stdout }).on('line', (line) => {
      if (line.startsWith(prefix)) {
        resolve(line.slice(prefix.length));
      }
    });
    printer.on('exit', (code) => reject(new Error(`virtual-printer ended with ${code}`)));
  });
}

function askVersion() {
  return new Promise((resolve) => {
    const request = https.get(
      { host: '127.0.0.1', port: programPort, path: '/config/version', rejectUnauthorized: false },
      (response) => { response.resume(); response.on('end', () => resolve(true)); });
    request.on('error', () => resolve(false));
  });
}

async function waitUntilProgramAnswers(program) {
  const deadline = Date.now() + patienceMs;
  while (program.exitCode === null && Date.now() < deadline) {
    if (await askVersion()) {
      return;
    }
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  throw new Error(`the program does not answer on port ${programPort}` +
                  ` (exit code ${program.exitCode}; is another instance running?)`);
}

// The configuration the shop saved earlier: the printer on the virtual printer's port.
function startConfiguration() {
  return {
    dontPrintNipOnFiscalPrinter: false,
    isValid: true,
    paymentMapping: [],
    port: printerPort,
    printInvoicesOnFiscalPrinter: false,
    questionBeforeFiscalization: false,
    selectedPrinter: 1,
    vatMappingForNoObligation: 0,
  };
}

// The program reads server.crt and server.key from its current folder and keeps its
// configuration, its access settings and its logs under XDG_DATA_HOME.
async function startProgram() {
  const programFolder = path.join(folder, 'program');
  const configurationFolder = path.join(programFolder, 'TrivaneFiscalProxy');
  fs.mkdirSync(path.join(programFolder, 'runtime'), { recursive: true, mode: 0o700 });
  fs.mkdirSync(configurationFolder, { recursive: true });
  fs.writeFileSync(path.join(configurationFolder, 'config.json'),
    `${JSON.stringify(startConfiguration())}\n`);
  // The pages are served over http:// on loopback, which the shop has to allow explicitly.
  fs.writeFileSync(path.join(configurationFolder, 'access.json'),
    `${JSON.stringify({ allowedOrigins: [new URL(allowedPage).origin], allowHttpOrigins: true })}\n`);
  for (const name of ['server.crt', 'server.key']) {
    fs.copyFileSync(path.join(buildDir, 'tests/support', name), path.join(programFolder, name));
  }
  const program = startChild(path.join(buildDir, 'src/app/fiscal-printer-proxy'), [], {
    cwd: programFolder,
    env: { ...process.env, XDG_DATA_HOME: programFolder, XDG_RUNTIME_DIR: path.join(programFolder, 'runtime') },
  });
  program.stdout.resume();
  await waitUntilProgramAnswers(program);
}

function programLog() {
  const logs = path.join(folder, 'program', 'TrivaneFiscalProxy', 'Logs');
  return fs.readdirSync(logs).map((name) => fs.readFileSync(path.join(logs, name), 'utf8')).join('');
}

// A page's own origin: http://127.0.0.1 on a port the system picks, one for each server.
function startPageServer() {
  const types = { '.html': 'text/html; charset=utf-8', '.js': 'text/javascript; charset=utf-8' };
  const pageServer = http.createServer((request, response) => {
    const name = request.url === '/' ? 'index.html' : path.basename(request.url);
    const file = path.join(__dirname, 'page', name);
    if (!fs.existsSync(file)) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Type': types[path.extname(name)] });
    response.end(fs.readFileSync(file));
  });
  pageServers.push(pageServer);
  return new Promise((resolve) => {
    pageServer.listen(0, '127.0.0.1', () => resolve(`http://127.0.0.1:${pageServer.address().port}/`));
  });
}

// The browser trusts the program's test certificate, and no other, by its public key.
function certificateKeyHash() {
  const certificate = new crypto.X509Certificate(fs.readFileSync(certificateFile));
  const key = certificate.publicKey.export({ type: 'spki', format: 'der' });
  return crypto.createHash('sha256').update(key).digest('base64');
}

function launchBrowser() {
  return chromium.launchPersistentContext(path.join(folder, 'chromium-profile'), {
    executablePath: '/usr/bin/chromium',
    headless: true,
    timeout: patienceMs,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      `--ignore-certificate-errors-spki-list=${certificateKeyHash()}`],
  });
}

async function openPage(address) {
  const page = await browser.newPage();
  page.setDefaultTimeout(patienceMs);
  await page.goto(address);
  return page;
}

const foreignReceipt = {
  GrossTotal: 1, FiscalPrinterPaymentId: 0,
  Items: [{ ProductName: 'Obcy', ProductUnitOfMeasurment: 'szt.', Quantity: 1,
    ProductCurrencyGrossPrice: 1, FiscalPrinterVatRateType: 0, GrossValue: 1 }],
};

before(async () => {
  printerPort = await startPrinter();
  allowedPage = await startPageServer();
  foreignPage = `${await startPageServer()}foreign.html`;
  await startProgram();
  browser = await launchBrowser();
  const foreign = await openPage(foreignPage);
  seenByForeign = await foreign.evaluate((receipt) => runForeignScenario(receipt), foreignReceipt);
  journalAfterForeign = journal();
  logAfterForeign = programLog();
  const page = await openPage(allowedPage);
  seen = await page.evaluate((port) => runScenario(port), printerPort);
}, { timeout: 5 * patienceMs });

after(async () => {
  if (browser) {
    await browser.close();
  }
  for (const pageServer of pageServers) {
    pageServer.close();
  }
  for (const child of children.reverse()) {
    if (child.exitCode === null && child.signalCode === null) {
      const ended = new Promise((resolve) => child.on('exit', resolve));
      child.kill('SIGTERM');
      await ended;
    }
  }
  fs.rmSync(folder, { recursive: true, force: true });
});

// Empty while nothing was printed (the printer makes the file with the first document).
function journal() {
  const file = path.join(folder, 'journal.txt');
  return fs.existsSync(file) ? fs.readFileSync(file, 'utf8') : '';
}

function assertAnswer(answer, status, body) {
  assert.deepEqual(answer, { status, contentType: 'application/json', body });
}

test('the page reads the configuration and state routes across origins', () => {
  assertAnswer(seen.version, 200, '1.0.0.9');
  assertAnswer(seen.configured, 200, true);
  assertAnswer(seen.startConfiguration, 200, startConfiguration());
  assert.equal(seen.serialPorts.status, 200);
  assert.ok(Array.isArray(seen.serialPorts.body));
  assertAnswer(seen.connected, 200, true);
  assertAnswer(seen.active, 200, true);
  assertAnswer(seen.disconnect, 200, null);
});

test('JSON posts pass the pre-flight and reach the program', () => {
  assertAnswer(seen.save, 200, null);
  assertAnswer(seen.savedConfiguration, 200, {
    port: printerPort,
    selectedPrinter: 1,
    questionBeforeFiscalization: true,
    printInvoicesOnFiscalPrinter: false,
    dontPrintNipOnFiscalPrinter: false,
    isValid: true,
    vatMappingForNoObligation: 3,
    paymentMapping: [{ payment: 'Karta', id: 2 }],
  });
  assertAnswer(seen.connect, 200, true);
  const log = programLog();
  for (const route of ['/config/save', '/connect', '/printer/print']) {
    assert.ok(log.includes(`REST Request: OPTIONS ${route}`), `no pre-flight of ${route}`);
  }
});

test('the page reads the printer\'s VAT rates', () => {
  assertAnswer(seen.vatMapping, 200, { va: 23, vb: 8, vc: 5, vd: 0, ve: 100, vf: 101, vg: 101 });
});

test('a receipt printed from the page reaches the printer whole', () => {
  assertAnswer(seen.print, 200, true);
  const printed = journal().split('\n\n').filter((document) => document.startsWith('RECEIPT '));
  assert.equal(printed.length, 1);
  assert.match(printed[0], /^BUYER NIP 526-025-02$/m);
  assert.match(printed[0], /^LINE Chleb żytni \| 2\.00 szt\. x 4\.99 \| 9\.98 A$/m);
  assert.match(printed[0], /^LINE Masło ekstra 82% \| 1\.00 szt\. x 7\.49 \| 7\.49 B$/m);
  assert.match(printed[0], /^PAYMENT .* 17\.47$/m);
  assert.match(printed[0], /^TOTAL 17\.47$/m);
});

test('error answers are JSON the page can read', () => {
  assertAnswer(seen.invalidSale, 400, 'required value ProductName does not exist');
  assertAnswer(seen.unknownRoute, 404, { exception: 'Not Found' });
  assertAnswer(seen.printDisconnected, 500, 'Brak połączenia z drukarką');
  assert.equal(seen.refusedSale.status, 500);
  assert.equal(seen.refusedSale.body.type, 'POSNET');
  assert.equal(seen.refusedSale.body.exception.code, 2000);
  assert.equal(typeof seen.refusedSale.body.exception.message, 'string');
});

test('a receipt the printer refuses is cancelled, not printed', () => {
  const documents = journal().split('\n\n');
  const cancelled = documents.filter((document) => document.startsWith('CANCELLED RECEIPT '));
  assert.equal(cancelled.length, 1);
  assert.match(cancelled[0], /^LINE Bułka \| 4\.00 szt\. x 0\.50 \| 2\.00 A$/m);
  assert.ok(!documents.some((document) => document.includes('Gazeta')));
});

test('a page of an origin not allowed is refused and reaches nothing', () => {
  const origin = new URL(foreignPage).origin;
  assert.match(seenByForeign.print.failure, /TypeError/);
  assert.match(seenByForeign.blobPrint.failure, /TypeError/);
  assert.match(seenByForeign.configuration.failure, /TypeError/);
  assert.equal(seenByForeign.dailyReport, 'error');
  assert.equal(seenByForeign.disconnect, 'error');
  assert.equal(journalAfterForeign, '');
  for (const text of ['Printing fiscal receipt.', 'Printing daily report', 'Device disconnected.']) {
    assert.ok(!logAfterForeign.includes(text), `the foreign page reached "${text}"`);
  }
  // The pre-flight of the JSON post, the Blob post and the read of the configuration were
  // refused; the first of them is logged in full, the others only counted, so that a page
  // cannot flood the log. So are the two images.
  const refusals = logAfterForeign.split(`Requests from the origin ${origin} are refused.`).length - 1;
  assert.equal(refusals, 1);
  const images = logAfterForeign.split(
    'Refused a request from a page of another site that did not name its origin').length - 1;
  assert.equal(images, 1);
});

// A link in a mail opens in the browser as a typed address does.
test('an address opened from outside the page prints no daily report', async () => {
  const page = await browser.newPage();
  page.setDefaultTimeout(patienceMs);
  const response = await page.goto(`https://localhost:${programPort}/daily_report`);
  assert.equal(response.status(), 403);
  assert.match(JSON.parse(await response.text()).exception, /^Refused a link, bookmark or typed address/);
  assert.ok(!journal().includes('DAILY REPORT'));
  await page.close();
});

// As the web application sends it, from Node rather than from a page.
function postReceipt(receipt) {
  const body = JSON.stringify(receipt);
  return new Promise((resolve, reject) => {
    const request = https.request({
      host: 'localhost', port: programPort, path: '/printer/print', method: 'POST',
      ca: fs.readFileSync(certificateFile),
      headers: {
        'Content-Type': 'application/json;charset=utf-8',
        'Content-Length': Buffer.byteLength(body),
      },
    }, (response) => {
      let text = '';
      response.on('data', (chunk) => { text += chunk; });
      response.on('end', () => resolve({ status: response.statusCode, body: JSON.parse(text) }));
    });
    request.on('error', reject);
    request.end(body);
  });
}

function stopPrinter() {
  const ended = new Promise((resolve) => printer.on('exit', resolve));
  printer.kill('SIGTERM');
  return ended;
}

test('the program\'s own page shows the connection, the last refusal, a printer switched off', async () => {
  const page = await browser.newPage();
  page.setDefaultTimeout(patienceMs);
  const response = await page.goto(`https://localhost:${programPort}/`);
  assert.equal(response.headers()['content-type'], 'text/html; charset=utf-8');
  const state = (className, text) => page.locator(`#state.${className}`, { hasText: text });
  // The web application's calls above ended with the connection closed and a refused line.
  await state('disconnected', 'Brak połączenia z drukarką fiskalną').waitFor();
  await page.locator('#last-refusal', { hasText: '(kod 2000' }).waitFor();
  assert.match(await page.locator('#certificate').textContent(), /^CN=localhost, ważny do \d/);
  assert.equal(await page.locator('#port').textContent(), printerPort);
  assert.equal(await page.locator('#line').textContent(), '9600 b/s, 8 bitów danych, ' +
    'parzystość: brak, bity stopu: 1, sterowanie przepływem: RTS/CTS (drukarka sieciowa ich nie używa)');

  await page.click('#connect');
  await state('connected', 'Nawiązano połączenie z drukarką').waitFor();
  assert.equal(await page.locator('#icon').getAttribute('href'), '/connected.svg');
  await page.locator('#model', {hasText : 'Virtual Posnet, oprogramowanie 1.00'}).waitFor();
  await page.click('#show-vat');
  await page.locator('#vat-rates td', { hasText: 'Stawka G' }).waitFor();
  assert.deepEqual(await page.locator('#vat-rates td').allTextContents(), [
    'Stawka A', '23%', 'Stawka B', '8%', 'Stawka C', '5%', 'Stawka D', '0%',
    'Stawka E', 'zwolniona', 'Stawka F', 'nieaktywna', 'Stawka G', 'nieaktywna']);
  const refused = await postReceipt({
    GrossTotal: 2.5, FiscalPrinterPaymentId: 0,
    Items: [{
      ProductName: 'Woda', ProductCurrencyGrossPrice: 2.5, FiscalPrinterVatRateType: 0, GrossValue: 2.5,
    }],
  });
  assert.equal(refused.body.exception.code, 2805);
  await page.locator('#last-refusal',
    { hasText: 'Suma paragonu inna niż suma pozycji (kod 2805' }).waitFor();
  fs.mkdirSync(path.join(__dirname, 'output'), { recursive: true });
  await page.screenshot({ path: path.join(__dirname, 'output', 'status-page.png'), fullPage: true });

  // The page's next refresh finds the line dead.
  await stopPrinter();
  await state('disconnected', 'Brak połączenia z drukarką fiskalną').waitFor();
  await page.locator('#last-refusal', { hasText: '(kod 8' }).waitFor();
  await page.close();
});

// Even the page of an origin allowed to call the routes above.
test('a page of another origin can neither read the program\'s status nor frame its page', async () => {
  const page = await openPage(allowedPage);
  const read = await page.evaluate(async (address) => {
    try {
      return await (await fetch(`${address}/status`)).text();
    } catch (error) {
      return String(error);
    }
  }, `https://127.0.0.1:${programPort}`);
  assert.equal(read, 'TypeError: Failed to fetch');

  await page.evaluate((address) => new Promise((resolve) => {
    const frame = document.createElement('iframe');
    frame.addEventListener('load', resolve);
    frame.src = `${address}/`;
    document.body.appendChild(frame);
  }), `https://localhost:${programPort}`);
  const frame = page.frames().find((candidate) => candidate !== page.mainFrame());
  // Chromium shows its own error page in place of the program's.
  assert.equal(await frame.evaluate(() => location.href), 'chrome-error://chromewebdata/');
  assert.ok(programLog().includes('Forbidden: the program\'s page answers only itself'));
  await page.close();
});
