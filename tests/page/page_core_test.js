#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// The browser page against the program itself: the page's line raster, canvas, draw-record
// reader, number reader, log bounds and screen form of a line, case by case, against what the
// C++ code makes of the same cases (page_oracle); and its SHA-256 and HMAC against node's.
//
//   node page_core_test.js <page_oracle> <app.js> [seed]
'use strict';

const assert = require('assert');
const childProcess = require('child_process');
const crypto = require('crypto');
const path = require('path');

const [oraclePath, appPath, seedArg] = process.argv.slice(2);
if (!oraclePath || !appPath) {
    console.error('usage: page_core_test.js <page_oracle> <app.js> [seed]');
    process.exit(2);
}
const page = require(path.resolve(appPath));

// A small deterministic generator, so a failure can be run again with its seed.
const seed = seedArg === undefined ? 0x5eed2025 : Number(seedArg);
let rngState = seed >>> 0;
function random() {
    rngState = (rngState + 0x6d2b79f5) >>> 0;
    let t = rngState;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
}
const int = (lo, hi) => lo + Math.floor(random() * (hi - lo + 1));
const pick = (list) => list[Math.floor(random() * list.length)];

// Each case: the oracle's command and what the page makes of it, compared as text.
const cases = [];
function addCase(kind, command, pageAnswer) {
    cases.push({ kind, command, pageAnswer });
}

// ---- Line raster --------------------------------------------------------------------------

function pageLine(w, h, x1, y1, x2, y2) {
    const pixels = [];
    const n = page.rasterLine(w, h, x1, y1, x2, y2, (x, y) => pixels.push(x, y));
    return n + (pixels.length ? ' ' + pixels.join(' ') : '');
}

function addLine(w, h, x1, y1, x2, y2) {
    addCase('line', `line ${w} ${h} ${x1} ${y1} ${x2} ${y2}`,
            () => pageLine(w, h, x1, y1, x2, y2));
}

const W = page.kCanvasWidth;
const H = page.kCanvasHeight;
{
    // Ends on, just inside and just outside every edge, and at the far ends of 16 bits.
    const xs = [-32768, -5000, -1, 0, 1, 123, W - 1, W, 32767];
    const ys = [-32768, -1, 0, 1, 200, H - 1, H, 4000, 32767];
    for (const x1 of xs) {
        for (const y1 of ys) {
            for (const x2 of xs) {
                for (const y2 of ys) {
                    addLine(W, H, x1, y1, x2, y2);
                }
            }
        }
    }
    // Every short segment around a corner and along an edge: zero length, one step, ties.
    for (const [cx, cy] of [[0, 0], [W - 1, H - 1], [W - 1, 0], [0, H - 1], [120, 0]]) {
        for (let x1 = cx - 2; x1 <= cx + 2; ++x1) {
            for (let y1 = cy - 2; y1 <= cy + 2; ++y1) {
                for (let dx = -3; dx <= 3; ++dx) {
                    for (let dy = -3; dy <= 3; ++dy) {
                        addLine(W, H, x1, y1, x1 + dx, y1 + dy);
                    }
                }
            }
        }
    }
    // Random segments: on and around the canvas, across all of 16 bits, and on tiny images
    // where clipping decides almost every pixel.
    for (let i = 0; i < 6000; ++i) {
        addLine(W, H, int(-400, 700), int(-400, 800), int(-400, 700), int(-400, 800));
    }
    for (let i = 0; i < 3000; ++i) {
        addLine(W, H, int(-32768, 32767), int(-32768, 32767), int(-32768, 32767),
                int(-32768, 32767));
    }
    for (let i = 0; i < 3000; ++i) {
        // Long and nearly axis-parallel: the minor offset changes rarely, and far outside.
        const x1 = int(-32768, 32767);
        const y1 = int(-40, H + 40);
        addLine(W, H, x1, y1, int(-32768, 32767), y1 + int(-3, 3));
        addLine(W, H, y1 - 50, x1, y1 + int(-3, 3) - 50, int(-32768, 32767));
    }
    for (let i = 0; i < 6000; ++i) {
        const w = int(1, 9);
        const h = int(1, 9);
        addLine(w, h, int(-12, 20), int(-12, 20), int(-12, 20), int(-12, 20));
    }
    for (const [w, h] of [[0, 5], [5, 0], [-1, 3]]) {
        addLine(w, h, -3, -3, 10, 10);
    }
}

// ---- The canvas: strokes of many segments, erases, the whole image compared -----------------

{
    const pixels = new Uint8ClampedArray(W * H * 4);
    let blank = false;
    const erase = () => {
        if (!blank) {
            page.fillPixels(pixels, page.kBackground);
            blank = true;
        }
    };
    erase();
    const dump = () => {
        let out = '';
        for (let i = 0; i < pixels.length; i += 4) {
            for (let k = 0; k < 3; ++k) {
                out += (pixels[i + k] < 16 ? '0' : '') + pixels[i + k].toString(16);
            }
        }
        return out;
    };
    // Each step is applied when its case is reached, so the page's canvas is in step with the
    // oracle's at every dump.
    const step = (command, apply) => cases.push({ kind: 'canvas', command, apply });
    step('dump', null);
    cases[cases.length - 1].pageAnswer = dump;
    const colours = [0, 255, 65280, 16711680, 16777215, 4587265, 12452077];
    for (let stroke = 0; stroke < 60; ++stroke) {
        let x = int(-60, W + 60);
        let y = int(-60, H + 60);
        const clr = random() < 0.5 ? pick(colours) : int(0, 16777215);
        step(`seg ${x} ${y} ${x} ${y} ${clr}`, null);
        for (let i = int(5, 80); i > 0; --i) {
            const nx = x + int(-25, 25);
            const ny = y + int(-25, 25);
            const [sx, sy] = [x, y];
            step(`seg ${sx} ${sy} ${nx} ${ny} ${clr}`, () => {
                blank = false;
                page.drawSegment(pixels, W, H, sx, sy, nx, ny, clr);
            });
            [x, y] = [nx, ny];
        }
        if (random() < 0.1) {
            step('erase', erase);
        }
        if (stroke % 6 === 5) {
            step('dump', null);
            cases[cases.length - 1].pageAnswer = dump;
        }
    }
    // A press: the zero-length segment marks nothing, but it is a segment all the same.
    for (const c of cases) {
        if (c.kind === 'canvas' && c.command.startsWith('seg ') && !c.apply) {
            const [sx, sy, dx, dy, clr] = c.command.slice(4).split(' ').map(Number);
            c.apply = () => {
                blank = false;
                page.drawSegment(pixels, W, H, sx, sy, dx, dy, clr);
            };
        }
    }
}

// ---- Draw records and numbers --------------------------------------------------------------

function pageRecord(payload) {
    const r = page.readDrawPacket(payload);
    return r === null ? 'drop' : `${r.sx} ${r.sy} ${r.dx} ${r.dy} ${r.clr}`;
}

function shortest(v) {
    if (Number.isNaN(v)) {
        return 'nan';
    }
    if (!Number.isFinite(v)) {
        return v > 0 ? 'inf' : '-inf';
    }
    return Object.is(v, -0) ? '-0' : String(v);
}

// The oracle writes the shortest decimal form in C++'s notation; the values are compared.
function sameNumbers(oracle, mine) {
    const a = oracle.split(' ');
    const b = mine.split(' ');
    const value = (t) => (t === 'inf' ? Infinity : t === '-inf' ? -Infinity : t === 'nan' ? NaN
                                                                                : Number(t));
    return a.length === b.length && a.every((t, i) => Object.is(value(t), value(b[i])));
}

function pageNumber(text) {
    const v = page.readLenientNumber(text);
    return shortest(v) + ' ' + shortest(page.roundHalfEven(v));
}

function randomText(alphabet, maxLength) {
    let s = '';
    for (let n = int(0, maxLength); n > 0; --n) {
        s += pick(alphabet);
    }
    return s;
}

{
    const records = [
        '10;20;15;22;255;', '-3;0;7;8;16777215;', '', ';;;;;', '1;2;3;4;', '1;2;3;4;5',
        '32767;-32768;0;0;0;', '32768;0;0;0;0;', '0;-32769;0;0;0;', '0;0;0;0;16777216;',
        '0;0;0;0;-1;', ' 1 0 ; 2.5;3.5;-2.5;25 5 ;', '1e3;1;1;1;1;', '+5;+6;-0;7;8;',
        '.5;-.5;1.5;0.5000001;2;', '32767.5;0;0;0;0;', '32766.5;-32768.5;0;0;16777215.5;',
        '-32767.5;0;0;0;16777214.5;', '1;2;3;4;5;6;7;', 'a;b;c;d;e;', '9;\t9\t;9 ;9;9;',
        '000000000000000000001;2;3;4;5;', '1234567890;0;0;0;0;', '12345678;0;0;0;0;',
        '0.49999999999999994;0.5;0.50000000000000006;1;2;', '-;+;.;-.;+.;',
        '1' + '0'.repeat(500) + ';0;0;0;0;', '0.' + '0'.repeat(900) + '1;0;0;0;0;',
        '5'.repeat(2000) + ';0;0;0;0;', '1;1;1;1;1\u00e9;', '\u00e9;1;1;1;1;',
    ];
    for (let i = 0; i < 6000; ++i) {
        const fields = [];
        for (let n = int(0, 7); n > 0; --n) {
            fields.push(random() < 0.5 ? String(int(-40000, 40000))
                                       : randomText('0123456789-+. \t.e5', 9));
        }
        records.push(fields.join(';') + (random() < 0.8 ? ';' : ''));
    }
    for (const payload of records) {
        addCase('record', 'record ' + payload, () => pageRecord(payload));
    }

    const numbers = [
        '', ' ', '-', '+', '.', '-.', '0', '-0', '+0', '00012', '2.5', '3.5', '-2.5', '-3.5',
        '0.5', '1.5', ' 1 2 . 5 x', '\t-\t7', '12a', '1e5', '1.2.3', '..5', '+-5', '255',
        '255.5', '256', '0.0000', '-0.0', '1' + '0'.repeat(310), '1' + '0'.repeat(400),
        '9'.repeat(850), '0.' + '9'.repeat(850), '0.' + '0'.repeat(398) + '1',
        '0.' + '0'.repeat(450) + '1', '4503599627370496.5', '4503599627370497.5',
        '9007199254740993', '1.7976931348623157e308', '179769313486231580793728971405301' +
            '0'.repeat(276),
    ];
    for (let i = 0; i < 6000; ++i) {
        numbers.push(randomText('0123456789-+. \t.x', 14));
    }
    for (let i = 0; i < 300; ++i) {
        numbers.push(randomText('0123456789', 900) + '.' + randomText('0123456789', 40));
    }
    for (const text of numbers) {
        addCase('number', 'number ' + text, () => pageNumber(text));
    }
}

// ---- What a log keeps and how a line looks on screen -----------------------------------------

{
    for (let i = 0; i < 400; ++i) {
        const maxLines = int(1, 12);
        const maxBytes = int(1, 400);
        const sizes = [];
        for (let n = int(0, 60); n > 0; --n) {
            sizes.push(random() < 0.1 ? int(300, 900) : int(2, 60));
        }
        addCase('keep', `keep ${maxLines} ${maxBytes} ${sizes.join(' ')}`, () => {
            const keep = new page.LogKeep(maxLines, maxBytes);
            const drops = sizes.map((s) => keep.add(s));
            return drops.map((d) => d + ' ').join('') + `${keep.lines} ${keep.bytes}`;
        });
    }
    addCase('keep', 'keep 10000 8388608 ' + Array(10005).fill(1000).join(' '), () => {
        const keep = new page.LogKeep(page.kMaxLines, page.kMaxBytes);
        const drops = Array(10005).fill(1000).map((s) => keep.add(s));
        return drops.map((d) => d + ' ').join('') + `${keep.lines} ${keep.bytes}`;
    });

    const hex = (s) => {
        let out = '';
        for (let i = 0; i < s.length; ++i) {
            out += s.charCodeAt(i).toString(16).padStart(4, '0');
        }
        return out;
    };
    // Letters, combining marks of all three kinds, a surrogate pair, line and paragraph breaks,
    // the text document's frame markers, bidirectional controls.
    const alphabet = ['a', 'Z', ' ', '7', '\u00e9', '\u0300', '\u0301', '\u0489', '\u093f',
                      '\u0915', '\ud83d\ude00', '\r', '\n', '\u2028', '\u2029', '\ufdd0',
                      '\ufdd1', '\u202e', '\u2067', '\t', '\u05d0', '\u4e2d'];
    const lines = ['', 'hello', 'a'.repeat(1999), 'a'.repeat(2000), 'a'.repeat(2001),
                   'a'.repeat(1999) + '\ud83d\ude00' + 'b', 'a'.repeat(1998) + '\ud83d\ude00',
                   'x' + '\u0301'.repeat(40) + 'y' + '\u0300'.repeat(16),
                   '\u202e' + 'b'.repeat(2500), 'a\r\nb\u2028c\ufdd0'];
    for (let i = 0; i < 1500; ++i) {
        let s = '';
        const n = random() < 0.2 ? int(1990, 2600) : int(0, 80);
        while (s.length < n) {
            s += random() < 0.15 ? '\u0301'.repeat(int(1, 30)) : pick(alphabet);
        }
        lines.push(s);
    }
    for (const line of lines) {
        addCase('shown', 'shown ' + hex(line), () => hex(page.shownLine(line)));
    }
}

// ---- Run the oracle and compare ----------------------------------------------------------------

const input = cases.map((c) => c.command).join('\n') + '\n';
const result = childProcess.spawnSync(oraclePath, [], {
    input,
    maxBuffer: 1 << 30,
    env: Object.assign({}, process.env, { QT_QPA_PLATFORM: 'offscreen' }),
});
if (result.status !== 0) {
    console.error(`page_oracle failed (${result.status}): ${result.stderr}`);
    process.exit(1);
}
const answers = result.stdout.toString('utf8').split('\n');
let next = 0;
const checked = {};
const failures = [];
for (const c of cases) {
    if (c.apply) {
        c.apply();
    }
    if (!c.pageAnswer) {
        continue;
    }
    const oracle = answers[next++];
    const mine = c.pageAnswer();
    const same = c.kind === 'number' ? sameNumbers(oracle, mine) : oracle === mine;
    checked[c.kind] = (checked[c.kind] || 0) + 1;
    if (!same && failures.length < 10) {
        const cut = (s) => (s.length > 300 ? s.slice(0, 300) + '...' : s);
        failures.push(`${c.kind}: ${cut(c.command)}\n  program: ${cut(oracle)}\n  page:    ` +
                      cut(mine));
    }
}

// ---- SHA-256 and HMAC against node's ----------------------------------------------------------

function bytes(n) {
    const b = new Uint8Array(n);
    for (let i = 0; i < n; ++i) {
        b[i] = int(0, 255);
    }
    return b;
}

let nHashes = 0;
for (const n of [0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 127, 128, 129, 1000, 100000]) {
    const data = bytes(n);
    assert.strictEqual(page.toHex(page.sha256(data)),
                       crypto.createHash('sha256').update(data).digest('hex'), `sha256 of ${n}`);
    ++nHashes;
}
for (let i = 0; i < 300; ++i) {
    const key = bytes(pick([0, 1, 16, 63, 64, 65, 100, 200, int(0, 300)]));
    const message = bytes(int(0, 300));
    assert.strictEqual(page.toHex(page.hmacSha256(key, message)),
                       crypto.createHmac('sha256', key).update(message).digest('hex'),
                       `hmac with a key of ${key.length} bytes`);
    ++nHashes;
}
// The challenge answer: the password's UTF-8 bytes as the key, the 32 hex digits as the message.
{
    const challenge = '0123456789abcdef0123456789abcdef';
    for (const password of ['secret', 'p\u00e4ss w\u00f6rd \ud83d\ude00', 'x'.repeat(100)]) {
        const expected = crypto.createHmac('sha256', Buffer.from(password, 'utf8'))
                             .update(challenge, 'ascii').digest('hex');
        assert.strictEqual(page.challengeAnswer(password, challenge), expected);
        assert.match(expected, /^[0-9a-f]{64}$/);
        ++nHashes;
    }
}
// The draw record the page writes is the window's: shortest decimal, the last ";" included.
assert.strictEqual(page.getDrawPacket(-3, 0, 7, 8, 16777215), '-3;0;7;8;16777215;');
assert.strictEqual(page.getPacketParam('10;20;30;', 2), '20');
assert.strictEqual(page.getPacketParam('10;20;30', 3), '');
assert.deepStrictEqual(page.usersOf('host;ann;bob;'), ['host', 'ann', 'bob']);
assert.deepStrictEqual(page.usersOf('a;;b;c'), ['a', '', 'b']);
assert.deepStrictEqual(page.splitLine('{1}{a}b}c'), { code: '{1}', payload: '{a}b}c' });
assert.strictEqual(page.splitLine('no brace'), null);

console.log(`seed ${seed}: ` + Object.entries(checked).map(([k, n]) => `${n} ${k}`).join(', ') +
            ` cases compared with the program; ${nHashes} hashes compared with node's`);
if (next !== answers.length - 1) {
    failures.push(`the oracle answered ${answers.length - 1} times, ${next} answers expected`);
}
if (failures.length > 0) {
    console.error('MISMATCH\n' + failures.join('\n'));
    process.exit(1);
}
console.log('the page agrees with the program on every case');
