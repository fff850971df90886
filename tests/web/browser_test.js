// browser_test.js - the web page in Debian's headless Chromium, driven over
// the DevTools protocol.
//
//   node browser_test.js page     SITE_DIR DEMO_DIR
//   node browser_test.js pictures SITE_DIR DEMO_DIR
//   node browser_test.js greeting SITE_DIR DEMO_DIR
//   node browser_test.js failures SITE_DIR DEMO_DIR
//   node browser_test.js follow   SITE_DIR DEMO_DIR
//   node browser_test.js throttled SITE_DIR DEMO_DIR   (a measurement, not a test)
//
// page: the page loads with no console error, shows its start layer, and the
// click brings up WebGL, a running audio context, full screen and a picture
// that changes over time, and goes on changing after Escape.
// pictures: for one time in every scene, the frame the page renders through
// its "t" test hook against the offline renderer's (DEMO_DIR/capture) at the
// same music time.
// greeting: while the data is held back, the first screen shows the demo's
// name, its still picture, what the click will do, the download size and the
// progress bar; once everything has arrived the bar is full and the page
// offers the click.
// failures: a site with its module missing, its module damaged, its data cut
// short, or a browser without WebGL: the page says so in one sentence within
// 10 s instead of loading for ever.
// follow: the page started with ?follow= follows a scripted studio (this
// script, speaking the editor link over WebSocket): it asks for every
// track, draws the studio's time after a seek, shows an edit of the
// "scene" track, says on the page that the link broke while keeping the
// edited track, and connects again by itself.
// throttled: the time from navigation to "click to start" at 5 Mbit/s.
//
// Everything waits by polling with generous deadlines: the machine may be
// busy, and Chromium draws WebGL on its software GPU there.
'use strict';

const childProcess = require('child_process');
const crypto = require('crypto');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const zlib = require('zlib');
const puppeteer = require('puppeteer-core');

const LOAD_DEADLINE_MS = 300000;
const CHANGE_DEADLINE_MS = 120000;

// One time inside every scene, with the scene the timeline shows there
// (titles and captions included where a scene has them).
const SCENE_TIMES = [
    {scene: 7, name: 'sequence', t: 3.5},
    {scene: 2, name: 'house', t: 12.0},
    {scene: 0, name: 'landscape', t: 22.0},
    {scene: 1, name: 'sprite drip', t: 50.0},
    {scene: 4, name: 'sphere', t: 60.0},
    {scene: 3, name: 'streak', t: 75.0},
    {scene: 5, name: 'fire', t: 88.0},
    {scene: 6, name: 'glyph field', t: 112.0},
];
const MIN_WITHIN_2 = 0.995;

let siteDir = null;

function fail(message) {
    throw new Error(message);
}

// ---- A static file server for the site, on a free port -------------------

const TYPES = {
    '.html': 'text/html; charset=utf-8',
    '.js': 'text/javascript',
    '.wasm': 'application/wasm',
    '.gz': 'application/octet-stream',
};

function serve(root) {
    const server = http.createServer((req, res) => {
        const name = decodeURIComponent(new URL(req.url, 'http://x').pathname);
        const file = path.join(root, name === '/' ? 'index.html' : name);
        if (!file.startsWith(root + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
            res.writeHead(404);
            res.end();
            return;
        }
        res.writeHead(200, {'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream'});
        fs.createReadStream(file).pipe(res);
    });
    return new Promise((resolve) => {
        server.listen(0, '127.0.0.1', () => resolve(server));
    });
}

// ---- Chromium ----------------------------------------------------------

async function launch(profile) {
    return puppeteer.launch({
        executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
        headless: true,
        userDataDir: profile,
        timeout: LOAD_DEADLINE_MS,
        protocolTimeout: LOAD_DEADLINE_MS,
        defaultViewport: {width: 960, height: 540},
        args: [
            '--no-sandbox',
            '--use-angle=swiftshader',
            '--enable-unsafe-swiftshader',
            '--autoplay-policy=no-user-gesture-required',
            '--disable-background-networking',
            '--disable-component-update',
            '--disable-sync',
            '--disable-quic',
            '--disable-dev-shm-usage',
            '--no-first-run',
        ],
    });
}

// A fresh page whose console errors, uncaught exceptions and failed
// requests are collected in `problems`.
async function openPage(browser, problems) {
    const page = await browser.newPage();
    page.setDefaultTimeout(LOAD_DEADLINE_MS);
    page.on('console', (m) => {
        if (m.type() === 'error')
            problems.push('console error: ' + m.text());
    });
    page.on('pageerror', (e) => problems.push('page error: ' + e.message));
    page.on('requestfailed', (r) => problems.push('request failed: ' + r.url()));
    page.on('response', (r) => {
        if (r.status() >= 400)
            problems.push('HTTP ' + r.status() + ': ' + r.url());
    });
    return page;
}

function checkNoProblems(problems, when) {
    if (problems.length)
        fail(when + ':\n  ' + problems.join('\n  '));
}

// ---- The page ------------------------------------------------------------

// Screenshots until one differs from the first.
async function expectPictureChange(page, when) {
    const first = await page.screenshot({type: 'png'});
    const deadline = Date.now() + CHANGE_DEADLINE_MS;
    while (Date.now() < deadline) {
        if (!first.equals(await page.screenshot({type: 'png'})))
            return;
    }
    fail('the picture did not change within ' + CHANGE_DEADLINE_MS / 1000 + ' s ' + when);
}

async function testPage(browser, base) {
    const problems = [];
    const page = await openPage(browser, problems);
    await page.goto(base + '/index.html', {waitUntil: 'load'});
    await page.waitForSelector('#start.ready', {timeout: LOAD_DEADLINE_MS});
    checkNoProblems(problems, 'while loading');
    const shown = await page.evaluate(() => ({
        text: document.body.innerText,
        title: document.title,
        background: getComputedStyle(document.body).backgroundColor,
    }));
    if (!/^click to start$/m.test(shown.text))
        fail('the start layer says "' + shown.text + '"');
    if (/emscripten/i.test(shown.text + shown.title))
        fail('the page shows emscripten branding');
    if (shown.background !== 'rgb(0, 0, 0)')
        fail('the page background is ' + shown.background);

    await page.click('#start');
    await page.waitForSelector('#start.gone', {timeout: LOAD_DEADLINE_MS});
    const gl = await page.evaluate(() => {
        const ctx = Module.ctx;
        if (!ctx)
            return null;
        const info = ctx.getExtension('WEBGL_debug_renderer_info');
        return {
            webgl: ctx instanceof WebGLRenderingContext || ctx instanceof WebGL2RenderingContext,
            canvas: ctx.canvas === document.getElementById('canvas'),
            width: ctx.drawingBufferWidth,
            height: ctx.drawingBufferHeight,
            renderer: info ? ctx.getParameter(info.UNMASKED_RENDERER_WEBGL) : ctx.getParameter(ctx.RENDERER),
        };
    });
    if (!gl || !gl.webgl || !gl.canvas)
        fail('no WebGL context on the page\'s canvas: ' + JSON.stringify(gl));
    if (gl.width !== 1920 || gl.height !== 1080)
        fail('the drawing buffer is ' + gl.width + 'x' + gl.height + ', not 1920x1080');
    console.log('WebGL renderer: ' + gl.renderer);

    await page.waitForFunction(
        () => Module.SDL2 && Module.SDL2.audioContext && Module.SDL2.audioContext.state === 'running',
        {timeout: LOAD_DEADLINE_MS, polling: 250});
    const audio = await page.evaluate(() => Module.SDL2.audioContext.sampleRate);
    console.log('audio context running at ' + audio + ' Hz');

    await page.waitForFunction(() => document.fullscreenElement === document.getElementById('canvas'),
        {timeout: LOAD_DEADLINE_MS, polling: 250});

    await expectPictureChange(page, 'after the click');

    // For the record: display frame intervals while the demo runs.
    const intervals = await page.evaluate(() => new Promise((resolve) => {
        const times = [];
        const step = (t) => {
            times.push(t);
            if (times.length > 60)
                resolve(times.slice(1).map((v, i) => v - times[i]));
            else
                requestAnimationFrame(step);
        };
        requestAnimationFrame(step);
    }));
    intervals.sort((a, b) => a - b);
    console.log('frame interval over 60 frames: median ' + intervals[30].toFixed(1) + ' ms, 90th percentile ' +
                intervals[54].toFixed(1) + ' ms');

    // Escape is the browser's (headless Chromium does not leave full screen
    // for a key sent over the protocol); the demo must not end on it.
    await page.keyboard.press('Escape');
    await expectPictureChange(page, 'after Escape');
    checkNoProblems(problems, 'while running');
    await page.close();
}

// ---- The greeting and the failures ----------------------------------------

const FAILURE_DEADLINE_MS = 10000;

async function testGreeting(browser, base) {
    const problems = [];
    const page = await openPage(browser, problems);
    // The data is held back until the first screen has been looked at.
    await page.setRequestInterception(true);
    let held = null;
    let releaseData = false;
    page.on('request', (r) => {
        if (r.url().endsWith('/demo.data.gz') && !releaseData)
            held = r;
        else
            r.continue();
    });
    await page.goto(base + '/index.html', {waitUntil: 'load'});
    await page.waitForFunction(() => document.getElementById('still').complete, {polling: 100});
    const first = await page.evaluate(() => {
        const visible = (id) => {
            const e = document.getElementById(id);
            const r = e.getBoundingClientRect();
            return r.width > 0 && r.height > 0 && getComputedStyle(e).visibility === 'visible';
        };
        const still = document.getElementById('still');
        const bar = document.getElementById('progress');
        return {
            title: document.title,
            heading: document.querySelector('#start h1').textContent,
            about: document.getElementById('about').textContent.replace(/\s+/g, ' '),
            still: [still.naturalWidth, still.naturalHeight],
            shown: ['still', 'progress', 'status'].filter(visible),
            bar: bar.tagName,
            max: bar.max,
            state: document.getElementById('start').className,
        };
    });
    console.log('first screen: ' + JSON.stringify(first));
    if (first.heading !== 'lumikenno 2019 demo' || first.title !== first.heading)
        fail('the first screen is titled "' + first.heading + '" (page title "' + first.title + '")');
    if (first.still[0] !== 480 || first.still[1] !== 270)
        fail('the still picture is ' + first.still.join('x') + ', not 480x270');
    if (first.shown.length !== 3)
        fail('of the still, the progress bar and the status only ' + first.shown.join(', ') + ' are visible');
    if (first.bar !== 'PROGRESS' || first.state !== '')
        fail('no progress bar while loading (' + first.bar + ', state "' + first.state + '")');
    const sizes = ['demo.js', 'demo.wasm', 'demo.data.gz'].map((f) => fs.statSync(path.join(siteDir, f)).size);
    const total = sizes.reduce((a, b) => a + b, 0);
    if (first.max !== total)
        fail('the progress bar counts to ' + first.max + ' bytes, the files hold ' + total);
    if (!/full screen/.test(first.about) || !/sound/.test(first.about) ||
        !first.about.includes('Download: ' + (total / 1e6).toFixed(1) + ' MB'))
        fail('the first screen does not say what will happen and how much is downloaded: "' + first.about + '"');

    await page.waitForFunction(() => document.getElementById('progress').value > 0, {polling: 100});
    for (const deadline = Date.now() + LOAD_DEADLINE_MS; !held;) {
        if (Date.now() > deadline)
            fail('the page never asked for demo.data.gz');
        await new Promise((r) => setTimeout(r, 100));
    }
    releaseData = true;
    await held.continue();
    await page.waitForSelector('#start.ready', {timeout: LOAD_DEADLINE_MS});
    const done = await page.evaluate(() => {
        const bar = document.getElementById('progress');
        return {value: bar.value, max: bar.max, status: document.getElementById('status').textContent};
    });
    if (done.value !== done.max || done.status !== 'click to start')
        fail('when ready: bar at ' + done.value + ' of ' + done.max + ', status "' + done.status + '"');
    checkNoProblems(problems, 'while loading');
    await page.close();
}

// Each case is a copy of the site with one fault, or a browser that lacks
// something; the page must end in one sentence that names the trouble.
const FAILURE_CASES = [
    {name: 'module missing', damage: (dir) => fs.rmSync(path.join(dir, 'demo.wasm')), expect: /demo\.wasm/},
    {name: 'module damaged', expect: /error/,
     damage: (dir) => {
         const file = path.join(dir, 'demo.wasm');
         const bytes = fs.readFileSync(file);
         bytes.fill(0, 0, 64);
         fs.writeFileSync(file, bytes);
     }},
    {name: 'data cut short', expect: /demo\.data\.gz/,
     damage: (dir) => {
         const file = path.join(dir, 'demo.data.gz');
         fs.truncateSync(file, Math.floor(fs.statSync(file).size / 2));
     }},
    {name: 'no WebGL', expect: /WebGL/, damage: () => {},
     before: () => {
         const original = HTMLCanvasElement.prototype.getContext;
         HTMLCanvasElement.prototype.getContext = function (kind, ...rest) {
             return /webgl/.test(kind) ? null : original.call(this, kind, ...rest);
         };
     }},
];

async function testFailures(browser, site) {
    const failures = [];
    for (const c of FAILURE_CASES) {
        const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'web-site-'));
        const server = await (async () => {
            fs.cpSync(site, dir, {recursive: true});
            c.damage(dir);
            return serve(dir);
        })();
        try {
            const page = await browser.newPage();
            if (c.before)
                await page.evaluateOnNewDocument(c.before);
            await page.goto('http://127.0.0.1:' + server.address().port + '/index.html');
            let said = null;
            try {
                await page.waitForSelector('#start.failed', {timeout: FAILURE_DEADLINE_MS});
                said = await page.evaluate(() => document.getElementById('status').textContent);
            } catch (e) {
                const now = await page.evaluate(() => document.getElementById('status').textContent);
                failures.push(c.name + ': no failure shown within 10 s; the page says "' + now + '"');
            }
            if (said !== null) {
                console.log(c.name + ': "' + said + '"');
                if (!/^[A-Z][^\n]*[.]$/.test(said) || /[.] [A-Z]/.test(said) || /^loading/.test(said) ||
                    !c.expect.test(said))
                    failures.push(c.name + ': not one plain sentence naming the trouble: "' + said + '"');
            }
            await page.close();
        } finally {
            server.close();
            fs.rmSync(dir, {recursive: true, force: true});
        }
    }
    if (failures.length)
        fail('the page did not report its failures:\n  ' + failures.join('\n  '));
}

// For the record: navigation to "click to start" at 5 Mbit/s (no latency
// added), with the progress bar's value sampled along the way.
async function measureThrottled(browser, base) {
    const page = await browser.newPage();
    const cdp = await page.target().createCDPSession();
    await cdp.send('Network.enable');
    await cdp.send('Network.setCacheDisabled', {cacheDisabled: true});
    await cdp.send('Network.emulateNetworkConditions',
                   {offline: false, latency: 0, downloadThroughput: 5e6 / 8, uploadThroughput: 5e6 / 8});
    const start = Date.now();
    await page.goto(base + '/index.html', {waitUntil: 'domcontentloaded'});
    const firstScreen = Date.now() - start;
    let lastLog = 0;
    while (!(await page.$('#start.ready'))) {
        if (await page.$('#start.failed'))
            fail('the page failed: ' + await page.evaluate(() => document.getElementById('status').textContent));
        if (Date.now() - lastLog >= 5000) {
            lastLog = Date.now();
            const at = await page.evaluate(() => document.getElementById('status').textContent);
            console.log(((Date.now() - start) / 1000).toFixed(1) + ' s: ' + at);
        }
        await new Promise((r) => setTimeout(r, 100));
        if (Date.now() - start > LOAD_DEADLINE_MS)
            fail('not ready after ' + LOAD_DEADLINE_MS / 1000 + ' s');
    }
    console.log('at 5 Mbit/s: first screen after ' + (firstScreen / 1000).toFixed(1) + ' s, "click to start" after ' +
                ((Date.now() - start) / 1000).toFixed(1) + ' s');
    await page.close();
}

// ---- Following a scripted studio --------------------------------------------
//
// The studio's side of the editor link (docs/link-protocol.md) over
// WebSocket, written here from the documented bytes: the handshake, binary
// frames, the greeting, transport and track messages. Tracks are served
// from the demo's own .track files.

const WS_GUID = '258EAFA5-E914-47DA-95CA-C5AB0DC85B11';

function wsFrame(payload) {
    const head = payload.length < 126 ? Buffer.from([0x82, payload.length])
        : Buffer.from([0x82, 126, payload.length >> 8, payload.length & 255]);
    return Buffer.concat([head, payload]);
}

function linkMessage(type, payload) {
    const head = Buffer.alloc(5);
    head[0] = type;
    head.writeUInt32BE(payload.length, 1);
    return Buffer.concat([head, payload]);
}

function linkTransport(seconds) {
    const p = Buffer.alloc(17);
    p.writeDoubleBE(seconds, 0); // paused, normal speed, no loop
    return linkMessage(4, p);
}

function linkTrack(name, keys) {
    const n = Buffer.from(name, 'latin1');
    const p = Buffer.alloc(1 + n.length + 4 + 9 * keys.length);
    p[0] = n.length;
    n.copy(p, 1);
    p.writeUInt32BE(keys.length, 1 + n.length);
    keys.forEach((k, i) => {
        const at = 5 + n.length + 9 * i;
        p.writeInt32BE(k.row, at);
        p.writeFloatBE(k.value, at + 4);
        p[at + 8] = k.kind;
    });
    return linkMessage(3, p);
}

// A .track file: a 32-bit key count, then row, value, kind per key (little-endian).
function readTrackFile(demoDir, name) {
    const bytes = fs.readFileSync(path.join(demoDir, 'sync_' + name + '.track'));
    const keys = [];
    for (let i = 0, at = 4; i < bytes.readInt32LE(0); i++, at += 9)
        keys.push({row: bytes.readInt32LE(at), value: bytes.readFloatLE(at + 4), kind: bytes[at + 8]});
    return keys;
}

// The scripted studio: every connection is recorded in `links` with the
// tracks it asked for; `send` goes to the newest.
function scriptedStudio(demoDir, transportSeconds) {
    const studio = {links: [], bytesSent: 0};
    const server = http.createServer((req, res) => {
        res.writeHead(400);
        res.end();
    });
    server.on('upgrade', (req, socket) => {
        const accept = crypto.createHash('sha1').update(req.headers['sec-websocket-key'] + WS_GUID).digest('base64');
        socket.write('HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n' +
                     'Sec-WebSocket-Accept: ' + accept + '\r\nSec-WebSocket-Protocol: dlnk\r\n\r\n');
        const link = {socket, asked: [], greeted: false, closed: false};
        studio.links.push(link);
        let frames = Buffer.alloc(0), stream = Buffer.alloc(0);
        socket.on('close', () => { link.closed = true; });
        socket.on('error', () => {});
        socket.on('data', (data) => {
            frames = Buffer.concat([frames, data]);
            for (;;) { // the page's frames: masked, short
                if (frames.length < 2)
                    break;
                let len = frames[1] & 127, at = 2;
                if (len === 126) {
                    if (frames.length < 4)
                        break;
                    len = frames.readUInt16BE(2);
                    at = 4;
                }
                if (frames.length < at + 4 + len)
                    break;
                const mask = frames.subarray(at, at + 4);
                const payload = Buffer.from(frames.subarray(at + 4, at + 4 + len).map((b, i) => b ^ mask[i & 3]));
                if ((frames[0] & 15) === 2)
                    stream = Buffer.concat([stream, payload]);
                frames = frames.subarray(at + 4 + len);
            }
            if (!link.greeted && stream.length >= 7 && stream.length >= 7 + stream[6]) {
                if (stream.toString('latin1', 0, 4) !== 'DLNK' || stream.readUInt16BE(4) !== 2)
                    fail('the page\'s greeting is wrong: ' + stream.subarray(0, 7).toString('hex'));
                stream = stream.subarray(7 + stream[6]);
                link.greeted = true;
                socket.write(wsFrame(Buffer.concat([Buffer.from('DLNK\0\x02\0', 'latin1'),
                                                    linkTransport(transportSeconds)])));
            }
            while (link.greeted && stream.length >= 5 && stream.length >= 5 + stream.readUInt32BE(1)) {
                const len = stream.readUInt32BE(1);
                if (stream[0] === 5 && len === 21) { // a report of what it drew
                    link.report = {seconds: stream.readDoubleBE(5), changes: stream.readUInt32BE(14)};
                    stream = stream.subarray(5 + len);
                    continue;
                }
                if (stream[0] !== 2)
                    fail('the page sent a message of type ' + stream[0]);
                const name = stream.toString('latin1', 5, 5 + len);
                link.asked.push(name);
                socket.write(wsFrame(linkTrack(name, readTrackFile(demoDir, name))));
                stream = stream.subarray(5 + len);
            }
        });
    });
    studio.send = (message) => {
        const frame = wsFrame(message);
        studio.bytesSent = frame.length;
        studio.links[studio.links.length - 1].socket.write(frame);
    };
    return new Promise((resolve) => server.listen(0, '127.0.0.1', () => {
        studio.server = server;
        studio.port = server.address().port;
        resolve(studio);
    }));
}

const FOLLOW_DEADLINE_MS = 120000;

async function testFollow(browser, base, demoDir) {
    const TRACKS = 12;
    const studio = await scriptedStudio(demoDir, 60.0);
    const problems = [];
    const page = await openPage(browser, problems);
    const lines = [];
    page.on('console', (m) => {
        if (m.text().startsWith('follow '))
            lines.push(m.type() + ': ' + m.text());
    });
    const drawn = (check, what) => page.waitForFunction(check, {timeout: FOLLOW_DEADLINE_MS, polling: 100})
        .catch(async () => fail(what + '; the page drew ' + JSON.stringify(await page.evaluate(() => window.followFrame)) +
                                ', its link lines: ' + JSON.stringify(lines)));
    try {
        // A wrong address is one sentence on the page, before the click.
        await page.goto(base + '/index.html?follow=127.0.0.1:99999', {waitUntil: 'load'});
        await page.waitForSelector('#start.failed', {timeout: LOAD_DEADLINE_MS});
        const said = await page.evaluate(() => document.getElementById('status').textContent);
        if (said !== 'The page cannot follow the studio: "127.0.0.1:99999" is not HOST:PORT with a port of 1 to 65535.')
            fail('for a wrong address the page says "' + said + '"');
        problems.length = 0; // the sentence went to the console as an error too

        await page.goto(base + '/index.html?follow=127.0.0.1:' + studio.port, {waitUntil: 'load'});
        await page.waitForSelector('#start.ready', {timeout: LOAD_DEADLINE_MS});
        await page.click('#start');
        await page.waitForSelector('#start.gone', {timeout: LOAD_DEADLINE_MS});

        // The studio paused at 60 s: every track asked for, the sphere drawn at exactly that time.
        await drawn(`(f => f && f.live && f.trackUpdates === ${TRACKS} && f.seconds === 60 && f.scene === 4)(window.followFrame)`,
                    'the page did not follow the studio paused at 60 s');
        if (studio.links.length !== 1 || new Set(studio.links[0].asked).size !== TRACKS)
            fail('the page asked for ' + JSON.stringify(studio.links.map((l) => l.asked)));
        if (await page.$('#link.shown'))
            fail('a link line shows while the studio is followed');

        // A seek: the landscape at 22 s.
        studio.send(linkTransport(22.0));
        await drawn('(f => f.seconds === 22 && f.scene === 0)(window.followFrame)', 'the page did not follow the seek to 22 s');

        // An edit: scene 5 (the fire) from row 0 on.
        const before = await page.evaluate(() => window.followFrame.frames);
        studio.send(linkTrack('scene', [{row: 0, value: 5, kind: 0}]));
        await drawn('(f => f.scene === 5 && f.trackUpdates === 13)(window.followFrame)', 'the page did not show the edit');
        const after = await page.evaluate(() => window.followFrame.frames);
        // ...and reported the first frame that showed it, as the desktop follower does.
        const reported = () => studio.links[0].report && studio.links[0].report.changes === TRACKS + 1;
        for (const until = Date.now() + FOLLOW_DEADLINE_MS; !reported() && Date.now() < until;)
            await new Promise((r) => setTimeout(r, 20));
        if (!reported() || studio.links[0].report.seconds !== 22)
            fail('the page did not report the frame that showed the edit: ' + JSON.stringify(studio.links[0].report));
        console.log('an edit of one key: ' + studio.bytesSent + ' bytes on the WebSocket; the fire showed within ' +
                    (after - before) + ' frames of the page (the polling included)');

        // The link breaks: one line on the page, the edit kept, and a new connection by itself.
        studio.links[0].socket.destroy();
        await page.waitForSelector('#link.shown', {timeout: FOLLOW_DEADLINE_MS});
        const shown = await page.evaluate(() => document.getElementById('link').textContent);
        if (!/^follow 127\.0\.0\.1:\d+: the studio closed the link; playing on alone, trying again every 1\.5 s$/.test(shown))
            fail('the page says "' + shown + '" when the link breaks');
        if (await page.evaluate(() => window.followFrame.live || window.followFrame.scene !== 5))
            fail('the page lost the edited track with the link: ' + JSON.stringify(await page.evaluate(() => window.followFrame)));
        await drawn(`(f => f.live && f.trackUpdates === ${2 * TRACKS + 1} && f.seconds === 60)(window.followFrame)`,
                    'the page did not follow again');
        if (studio.links.length !== 2 || await page.$('#link.shown'))
            fail('after the new connection: ' + studio.links.length + ' connections, the line ' +
                 (await page.$('#link.shown') ? 'still shown' : 'hidden'));
        if (!lines.some((l) => l.startsWith('warn: ') && l.includes('the studio closed the link')))
            fail('no warning on the console for the broken link: ' + JSON.stringify(lines));
        checkNoProblems(problems, 'while following');
        console.log('link lines: ' + JSON.stringify(lines));
    } finally {
        await page.close();
        studio.links.forEach((l) => l.socket.destroy());
        studio.server.close();
    }
}

// ---- Pictures --------------------------------------------------------------

// The pixels of an 8-bit RGB or RGBA PNG without interlacing, as RGB.
function decodePng(bytes) {
    if (bytes.readUInt32BE(0) !== 0x89504e47)
        fail('not a PNG');
    let width = 0, height = 0, channels = 0;
    const idat = [];
    for (let at = 8; at < bytes.length;) {
        const length = bytes.readUInt32BE(at);
        const type = bytes.toString('latin1', at + 4, at + 8);
        const data = bytes.subarray(at + 8, at + 8 + length);
        if (type === 'IHDR') {
            width = data.readUInt32BE(0);
            height = data.readUInt32BE(4);
            channels = {2: 3, 6: 4}[data[9]];
            if (data[8] !== 8 || !channels || data[12] !== 0)
                fail('unsupported PNG layout');
        } else if (type === 'IDAT') {
            idat.push(data);
        }
        at += 12 + length;
    }
    const raw = zlib.inflateSync(Buffer.concat(idat));
    const stride = width * channels;
    const out = Buffer.alloc(width * height * 3);
    let prev = Buffer.alloc(stride), row = Buffer.alloc(stride);
    for (let y = 0; y < height; y++) {
        const filter = raw[y * (stride + 1)];
        const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
        for (let i = 0; i < stride; i++) {
            const a = i >= channels ? row[i - channels] : 0;
            const b = prev[i];
            const c = i >= channels ? prev[i - channels] : 0;
            let p;
            switch (filter) {
            case 0: p = 0; break;
            case 1: p = a; break;
            case 2: p = b; break;
            case 3: p = (a + b) >> 1; break;
            case 4: {
                const pa = Math.abs(b - c), pb = Math.abs(a - c), pc = Math.abs(a + b - 2 * c);
                p = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
                break;
            }
            default: fail('bad PNG filter ' + filter);
            }
            row[i] = (line[i] + p) & 255;
        }
        for (let x = 0; x < width; x++)
            row.copy(out, (y * width + x) * 3, x * channels, x * channels + 3);
        [prev, row] = [row, prev];
    }
    return {width, height, rgb: out};
}

function captureNative(demoDir, t, outDir) {
    const dir = path.join(outDir, 'capture-' + t);
    try {
        childProcess.execFileSync(path.join(demoDir, 'capture'),
                                  ['--out', dir, '--start', String(t), '--frames', '1'],
                                  {cwd: demoDir, stdio: 'pipe'});
    } catch (e) {
        fail('capture at ' + t + ' s failed: ' + e.message + '\n' + (e.stderr || ''));
    }
    return decodePng(fs.readFileSync(path.join(dir, 'frame-000000.png')));
}

async function webFrame(browser, base, t) {
    const problems = [];
    const page = await openPage(browser, problems);
    await page.goto(base + '/index.html?t=' + t, {waitUntil: 'load'});
    await page.waitForFunction(() => window.testFrame !== undefined, {timeout: LOAD_DEADLINE_MS, polling: 250});
    const frame = await page.evaluate(() => {
        const f = window.testFrame;
        const rgb = new Uint8Array(f.width * f.height * 3);
        for (let i = 0, j = 0; i < rgb.length; i += 3, j += 4) {
            rgb[i] = f.rgba[j];
            rgb[i + 1] = f.rgba[j + 1];
            rgb[i + 2] = f.rgba[j + 2];
        }
        let text = '';
        for (let i = 0; i < rgb.length; i += 0x8000)
            text += String.fromCharCode.apply(null, rgb.subarray(i, i + 0x8000));
        return {width: f.width, height: f.height, scene: f.scene, rgb: btoa(text)};
    });
    checkNoProblems(problems, 'rendering t=' + t);
    await page.close();
    return {width: frame.width, height: frame.height, scene: frame.scene, rgb: Buffer.from(frame.rgb, 'base64')};
}

function comparePictures(a, b) {
    let equal = 0, within2 = 0, worst = 0;
    const n = a.width * a.height;
    for (let i = 0; i < n * 3; i += 3) {
        const d = Math.max(Math.abs(a.rgb[i] - b.rgb[i]), Math.abs(a.rgb[i + 1] - b.rgb[i + 1]),
                           Math.abs(a.rgb[i + 2] - b.rgb[i + 2]));
        if (d === 0)
            equal++;
        if (d <= 2)
            within2++;
        worst = Math.max(worst, d);
    }
    return {equal: equal / n, within2: within2 / n, worst};
}

async function testPictures(browser, base, demoDir) {
    const work = fs.mkdtempSync(path.join(os.tmpdir(), 'web-pictures-'));
    const failures = [];
    try {
        const seen = new Set();
        console.log('scene         time   equal    within 2  largest difference');
        for (const {scene, name, t} of SCENE_TIMES) {
            const native = captureNative(demoDir, t, work);
            const web = await webFrame(browser, base, t);
            if (web.scene !== scene)
                fail('at ' + t + ' s the page drew scene ' + web.scene + ', not ' + scene + ' (' + name + ')');
            seen.add(web.scene);
            if (web.width !== native.width || web.height !== native.height)
                fail('at ' + t + ' s the page gave ' + web.width + 'x' + web.height + ', capture ' +
                     native.width + 'x' + native.height);
            const r = comparePictures(native, web);
            console.log(name.padEnd(12) + String(t).padStart(6) + ' ' + (100 * r.equal).toFixed(3).padStart(8) +
                        '% ' + (100 * r.within2).toFixed(3).padStart(8) + '%  ' + r.worst);
            if (r.within2 < MIN_WITHIN_2)
                failures.push(name + ' at ' + t + ' s: ' + (100 * r.within2).toFixed(3) + '% within 2');
        }
        if (seen.size !== 8)
            fail('the chosen times cover ' + seen.size + ' of the 8 scenes');
    } finally {
        fs.rmSync(work, {recursive: true, force: true});
    }
    if (failures.length)
        fail('pictures differ from the offline renderer\'s:\n  ' + failures.join('\n  '));
}

// ---- Main ------------------------------------------------------------------

async function main() {
    const [mode, siteArg, demoArg] = process.argv.slice(2);
    if (!['page', 'pictures', 'greeting', 'failures', 'follow', 'throttled'].includes(mode) || !siteArg || !demoArg)
        fail('usage: browser_test.js page|pictures|greeting|failures|follow|throttled SITE_DIR DEMO_DIR');
    const site = path.resolve(siteArg);
    siteDir = site;
    const server = await serve(site);
    const base = 'http://127.0.0.1:' + server.address().port;
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'web-chromium-'));
    let browser = null;
    try {
        browser = await launch(profile);
        if (mode === 'page')
            await testPage(browser, base);
        else if (mode === 'greeting')
            await testGreeting(browser, base);
        else if (mode === 'failures')
            await testFailures(browser, site);
        else if (mode === 'follow')
            await testFollow(browser, base, path.resolve(demoArg));
        else if (mode === 'throttled')
            await measureThrottled(browser, base);
        else
            await testPictures(browser, base, path.resolve(demoArg));
    } finally {
        if (browser)
            await browser.close();
        server.close();
        fs.rmSync(profile, {recursive: true, force: true});
    }
}

main().then(() => console.log('PASS'), (e) => {
    console.error('FAIL: ' + (e && e.message ? e.message : e));
    process.exit(1);
});
