// SPDX-License-Identifier: MIT
// Zaplo in a browser: the main window of a client, speaking the session's line protocol over
// one WebSocket (each binary frame one line, without its CR LF).
//
// The first half has no DOM in it (line raster, draw records, numbers, SHA-256 and HMAC, what a
// log keeps and shows) and is what node loads for the tests; the second half is the page.
'use strict';

(function () {
    // ---- The canvas and its line raster ------------------------------------------------------

    const kCanvasWidth = 248;
    const kCanvasHeight = 353;
    const kBackground = 0xffffff; // white: the window's canvas background

    // Exact floor(a / b) for b > 0 and integers below 2^53: the quotient of doubles can land on
    // the wrong side of a whole number, so it is corrected by the remainder.
    function floorDiv(a, b) {
        let q = Math.floor(a / b);
        let r = a - q * b;
        while (r < 0) {
            q -= 1;
            r += b;
        }
        while (r >= b) {
            q += 1;
            r -= b;
        }
        return q;
    }

    function ceilDiv(a, b) {
        return -floorDiv(-a, b);
    }

    // The run of a line's steps that lies inside a width x height image, found without walking
    // the steps outside it; null when the line misses the image.
    //
    // With n = max(|dx|, |dy|) and m = min(|dx|, |dy|), step i (0 <= i < n) lies i pixels from
    // the start along the major axis (x when |dx| >= |dy|) and floor((2im + n) / 2n) pixels
    // along the minor one. The end point, step n, is not part of the line, so a line of length
    // zero has no pixels. Coordinates are the canvas's 16-bit ones: every product stays far
    // below 2^53.
    function clipLine(width, height, x1, y1, x2, y2) {
        if (width <= 0 || height <= 0) {
            return null;
        }
        const dx = x2 - x1;
        const dy = y2 - y1;
        const ax = Math.abs(dx);
        const ay = Math.abs(dy);
        const xMajor = ax >= ay;
        const n = xMajor ? ax : ay;
        const m = xMajor ? ay : ax;
        if (n === 0) {
            return null;
        }
        const majorStep = (xMajor ? dx : dy) < 0 ? -1 : 1;
        const minorStep = (xMajor ? dy : dx) < 0 ? -1 : 1;
        const p0 = xMajor ? x1 : y1;
        const q0 = xMajor ? y1 : x1;
        const majorLimit = xMajor ? width : height;
        const minorLimit = xMajor ? height : width;

        // Major axis: p0 + majorStep * i inside [0, majorLimit).
        let lo = 0;
        let hi = n - 1;
        if (majorStep > 0) {
            lo = Math.max(lo, -p0);
            hi = Math.min(hi, majorLimit - 1 - p0);
        } else {
            lo = Math.max(lo, p0 - majorLimit + 1);
            hi = Math.min(hi, p0);
        }

        // Minor axis: the offset k_i never decreases, so each bound cuts a prefix or a suffix.
        // k_i >= a  <=>  2im >= n(2a - 1);  k_i <= b  <=>  2im < n(2b + 1).
        const a = minorStep > 0 ? -q0 : q0 - minorLimit + 1;
        const b = minorStep > 0 ? minorLimit - 1 - q0 : q0;
        if (b < 0) {
            return null;
        }
        if (m === 0) {
            if (a > 0) {
                return null;
            }
        } else {
            if (a > 0) {
                const first = ceilDiv(n * (2 * a - 1), 2 * m);
                if (first > hi) {
                    return null;
                }
                lo = Math.max(lo, first);
            }
            const last = ceilDiv(n * (2 * b + 1), 2 * m) - 1;
            if (last < lo) {
                return null;
            }
            hi = Math.min(hi, last);
        }
        if (lo > hi) {
            return null;
        }

        const num = 2 * lo * m + n;
        const k = floorDiv(num, 2 * n);
        const major = p0 + majorStep * lo;
        const minor = q0 + minorStep * k;
        return {
            count: hi - lo + 1,
            first: lo,
            x: xMajor ? major : minor,
            y: xMajor ? minor : major,
            xMajor,
            majorStep,
            minorStep,
            error: num - k * 2 * n,
            errorStep: 2 * m,
            errorLimit: 2 * n,
        };
    }

    // Calls plot(x, y) for every in-image pixel of the line from (x1, y1) towards (x2, y2), in
    // order from the start, and returns how many there were: exactly the pixels that every
    // participant's canvas paints.
    function rasterLine(width, height, x1, y1, x2, y2, plot) {
        const c = clipLine(width, height, x1, y1, x2, y2);
        if (c === null) {
            return 0;
        }
        let x = c.x;
        let y = c.y;
        let error = c.error;
        for (let i = 0; i < c.count; ++i) {
            plot(x, y);
            error += c.errorStep;
            const minorMove = error >= c.errorLimit;
            if (minorMove) {
                error -= c.errorLimit;
            }
            if (c.xMajor) {
                x += c.majorStep;
                if (minorMove) {
                    y += c.minorStep;
                }
            } else {
                y += c.majorStep;
                if (minorMove) {
                    x += c.minorStep;
                }
            }
        }
        return c.count;
    }

    // One segment, end point excluded, into RGBA pixels (an ImageData's data) in a Colour
    // (red + 256 * green + 65536 * blue).
    function drawSegment(pixels, width, height, sx, sy, dx, dy, clr) {
        const r = clr & 0xff;
        const g = (clr >> 8) & 0xff;
        const b = (clr >> 16) & 0xff;
        return rasterLine(width, height, sx, sy, dx, dy, (x, y) => {
            const i = (y * width + x) * 4;
            pixels[i] = r;
            pixels[i + 1] = g;
            pixels[i + 2] = b;
            pixels[i + 3] = 255;
        });
    }

    function fillPixels(pixels, clr) {
        const r = clr & 0xff;
        const g = (clr >> 8) & 0xff;
        const b = (clr >> 16) & 0xff;
        for (let i = 0; i < pixels.length; i += 4) {
            pixels[i] = r;
            pixels[i + 1] = g;
            pixels[i + 2] = b;
            pixels[i + 3] = 255;
        }
    }

    function packColour(r, g, b) {
        return r + 256 * g + 65536 * b;
    }

    // ---- Numbers and draw records --------------------------------------------------------------

    const kMaxDigits = 800;

    // The number at the start of a text, read the forgiving way: blanks (space, tab) anywhere are
    // skipped, then an optional sign, digits and an optional fraction after "."; reading stops at
    // the first character that does not fit, and a text without a leading number reads as 0.
    function readLenientNumber(text) {
        let i = 0;
        const skip = () => {
            while (i < text.length && (text[i] === ' ' || text[i] === '\t')) {
                ++i;
            }
        };
        const isDigit = () => i < text.length && text[i] >= '0' && text[i] <= '9';
        skip();
        let negative = false;
        if (text[i] === '+' || text[i] === '-') {
            negative = text[i] === '-';
            ++i;
            skip();
        }
        // The significant digits (leading zeros dropped, at most kMaxDigits, more than can
        // change the nearest double) and how many of them lie before the point.
        let digits = '';
        let scale = 0;
        let any = false;
        while (isDigit()) {
            any = true;
            if (digits !== '' || text[i] !== '0') {
                if (digits.length < kMaxDigits) {
                    digits += text[i];
                }
                ++scale;
            }
            ++i;
            skip();
        }
        if (text[i] === '.') {
            ++i;
            skip();
            while (isDigit()) {
                any = true;
                if (digits === '' && text[i] === '0') {
                    --scale; // a leading zero of the fraction
                } else if (digits.length < kMaxDigits) {
                    digits += text[i];
                }
                ++i;
                skip();
            }
        }
        if (!any || digits === '') {
            return any && negative ? -0 : 0;
        }
        // 0.<digits> * 10^scale; Number() rounds a decimal text correctly, as the window does.
        let value;
        if (scale > 400) {
            value = Infinity;
        } else if (scale < -400) {
            value = 0;
        } else {
            value = Number('0.' + digits + 'e' + scale);
        }
        return negative ? -value : value;
    }

    // Nearest whole number, a half going to the even neighbour.
    function roundHalfEven(v) {
        if (!Number.isFinite(v)) {
            return v;
        }
        const lower = Math.floor(v);
        const diff = v - lower;
        if (diff < 0.5) {
            return lower;
        }
        if (diff > 0.5) {
            return lower + 1;
        }
        return lower % 2 === 0 ? lower : lower + 1;
    }

    // Field n (from 1) of a list whose fields are each followed by ";"; empty when there is none.
    function getPacketParam(packet, n) {
        let start = 0;
        let count = 0;
        for (let i = 0; i < packet.length; ++i) {
            if (packet.charCodeAt(i) === 59) {
                ++count;
                if (count === n) {
                    return packet.slice(start, i);
                }
                start = i + 1;
            }
        }
        return '';
    }

    function getDrawPacket(sx, sy, dx, dy, clr) {
        return `${sx};${sy};${dx};${dy};${clr};`;
    }

    // A received draw record, or null when a coordinate does not fit 16 bits or the colour lies
    // outside 0..16777215: no program sends such a record, and it is not drawn.
    function readDrawPacket(payload) {
        const field = (n, lo, hi) => {
            const v = roundHalfEven(readLenientNumber(getPacketParam(payload, n)));
            return v >= lo && v <= hi ? v + 0 : null; // + 0: -0 is 0
        };
        const values = [];
        for (let n = 1; n <= 4; ++n) {
            const v = field(n, -32768, 32767);
            if (v === null) {
                return null;
            }
            values.push(v);
        }
        const clr = field(5, 0, 16777215);
        if (clr === null) {
            return null;
        }
        return { sx: values[0], sy: values[1], dx: values[2], dy: values[3], clr };
    }

    // ---- SHA-256 and HMAC (plain http has no crypto.subtle) -------------------------------------

    const kRound = new Uint32Array([
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
        0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
        0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
        0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
        0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
        0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
        0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
        0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
        0xc67178f2,
    ]);

    function sha256(bytes) {
        const h = new Uint32Array([
            0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab,
            0x5be0cd19,
        ]);
        // The message, a 1 bit, zeros, and its length in bits as a 64-bit big-endian number.
        const total = Math.ceil((bytes.length + 9) / 64) * 64;
        const data = new Uint8Array(total);
        data.set(bytes);
        data[bytes.length] = 0x80;
        const view = new DataView(data.buffer);
        const bits = bytes.length * 8;
        view.setUint32(total - 8, Math.floor(bits / 0x100000000));
        view.setUint32(total - 4, bits >>> 0);
        const w = new Uint32Array(64);
        const rotr = (x, n) => (x >>> n) | (x << (32 - n));
        for (let block = 0; block < total; block += 64) {
            for (let t = 0; t < 16; ++t) {
                w[t] = view.getUint32(block + 4 * t);
            }
            for (let t = 16; t < 64; ++t) {
                const s0 = rotr(w[t - 15], 7) ^ rotr(w[t - 15], 18) ^ (w[t - 15] >>> 3);
                const s1 = rotr(w[t - 2], 17) ^ rotr(w[t - 2], 19) ^ (w[t - 2] >>> 10);
                w[t] = (w[t - 16] + s0 + w[t - 7] + s1) >>> 0;
            }
            let [a, b, c, d, e, f, g, hh] = h;
            for (let t = 0; t < 64; ++t) {
                const S1 = rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25);
                const ch = (e & f) ^ (~e & g);
                const t1 = (hh + S1 + ch + kRound[t] + w[t]) >>> 0;
                const S0 = rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22);
                const maj = (a & b) ^ (a & c) ^ (b & c);
                const t2 = (S0 + maj) >>> 0;
                hh = g;
                g = f;
                f = e;
                e = (d + t1) >>> 0;
                d = c;
                c = b;
                b = a;
                a = (t1 + t2) >>> 0;
            }
            h[0] += a;
            h[1] += b;
            h[2] += c;
            h[3] += d;
            h[4] += e;
            h[5] += f;
            h[6] += g;
            h[7] += hh;
        }
        const out = new Uint8Array(32);
        const outView = new DataView(out.buffer);
        for (let i = 0; i < 8; ++i) {
            outView.setUint32(4 * i, h[i]);
        }
        return out;
    }

    function hmacSha256(key, message) {
        const kBlock = 64;
        let k = key.length > kBlock ? sha256(key) : key;
        const padded = new Uint8Array(kBlock);
        padded.set(k);
        const inner = new Uint8Array(kBlock + message.length);
        const outer = new Uint8Array(kBlock + 32);
        for (let i = 0; i < kBlock; ++i) {
            inner[i] = padded[i] ^ 0x36;
            outer[i] = padded[i] ^ 0x5c;
        }
        inner.set(message, kBlock);
        outer.set(sha256(inner), kBlock);
        return sha256(outer);
    }

    function toHex(bytes) {
        let s = '';
        for (const b of bytes) {
            s += (b < 16 ? '0' : '') + b.toString(16);
        }
        return s;
    }

    const utf8 = new TextEncoder();

    // The answer to a session's challenge: HMAC-SHA-256 keyed with the password's UTF-8 bytes
    // over the challenge's characters, as 64 lowercase hex digits.
    function challengeAnswer(password, challenge) {
        return toHex(hmacSha256(utf8.encode(password), utf8.encode(challenge)));
    }

    const kChallengePattern = /^[0-9a-f]{32}$/;

    // ---- What a log box keeps and shows ---------------------------------------------------------

    const kMaxLine = 256 * 1024; // the longest line the session carries, CR LF not counted
    const kMaxNickChars = 16;
    // As the window's boxes: the newest 10,000 lines and 8 MiB (two bytes a character) kept, the
    // newest 1,000 lines or 128 Ki characters on screen, each line cut after 2,000 characters.
    const kMaxLines = 10000;
    const kMaxBytes = 8 * 1024 * 1024;
    const kShownChars = 2000;
    const kShownMarks = 16;
    const kScreenChars = 128 * 1024;
    const kScreenLines = 1000;
    const kMaxRows = 32768; // the server's own user and the most clients it admits

    // The sizes of a log's lines, oldest first; says how many of the oldest must go when a line
    // comes. The newest line always stays, however big.
    class LogKeep {
        constructor(maxLines, maxBytes) {
            this.maxLines = maxLines;
            this.maxBytes = maxBytes;
            this.sizes = [];
            this.head = 0;
            this.bytes = 0;
        }

        get lines() {
            return this.sizes.length - this.head;
        }

        add(nBytes) {
            this.sizes.push(nBytes);
            this.bytes += nBytes;
            let nDrop = 0;
            while (this.lines > 1 && (this.lines > this.maxLines || this.bytes > this.maxBytes)) {
                this.bytes -= this.sizes[this.head];
                ++this.head;
                ++nDrop;
            }
            if (this.head > 4096 && this.head * 2 > this.sizes.length) {
                this.sizes = this.sizes.slice(this.head);
                this.head = 0;
            }
            return nDrop;
        }

        clear() {
            this.sizes = [];
            this.head = 0;
            this.bytes = 0;
        }
    }

    function lineBytes(line) {
        return 2 * (line.length + 2);
    }

    function shownSize(line) {
        return line.length > kShownChars ? kShownChars + 40 : line.length + 1;
    }

    const kMark = /^\p{M}$/u;

    // What a line looks like on screen: cut after kShownChars characters (never half a
    // character) with a visible mark, at most kShownMarks combining marks on one character, and
    // line and paragraph breaks shown as visible stand-ins.
    function shownLine(line) {
        let nCut = Math.min(line.length, kShownChars);
        if (nCut < line.length && nCut > 0) {
            const c = line.charCodeAt(nCut - 1);
            if (c >= 0xd800 && c <= 0xdbff) {
                --nCut;
            }
        }
        let shown = '';
        let nMarks = 0;
        for (let i = 0; i < nCut; ++i) {
            let ch = line[i];
            const mark = kMark.test(ch);
            nMarks = mark ? nMarks + 1 : 0;
            if (mark && nMarks > kShownMarks) {
                continue;
            }
            switch (ch) {
                case '\r':
                    ch = '\u240d';
                    break;
                case '\n':
                    ch = '\u240a';
                    break;
                case '\u2028':
                case '\u2029':
                case '\ufdd0':
                case '\ufdd1':
                    ch = '\ufffd';
                    break;
                default:
                    break;
            }
            shown += ch;
        }
        if (nCut < line.length) {
            // Bidirectional controls in the line end before the mark, which reads left to right.
            shown += '\u2069\u202c \u2026 [' + (line.length - nCut) + ' more characters]';
        }
        return shown;
    }

    // A received line cut into its code (up to and including the first "}") and payload; null
    // for a line without "}".
    function splitLine(line) {
        const p = line.indexOf('}');
        if (p < 0) {
            return null;
        }
        return { code: line.slice(0, p + 1), payload: line.slice(p + 1) };
    }

    // The entries of a user-list payload: each followed by ";"; text after the last one ignored.
    function usersOf(payload) {
        const names = payload.split(';');
        names.pop();
        return names;
    }

    // ---- Pacing ---------------------------------------------------------------------------------

    // Runs work() soon after ask(): at once when idle, otherwise once the pace since the last
    // run is over. The pace grows with what a run costs, so a flood of peer lines leaves the page
    // most of its time.
    class Pacer {
        constructor(work, paceMs, now) {
            this.work = work;
            this.paceMs = paceMs;
            this.now = now || (() => Date.now());
            this.timer = null;
            this.last = -Infinity;
            this.cost = 0;
        }

        ask() {
            if (this.timer !== null) {
                return;
            }
            const pace = Math.max(this.paceMs, 4 * this.cost);
            const wait = Math.max(0, this.last + pace - this.now());
            this.timer = setTimeout(() => this.run(), wait);
        }

        run() {
            if (this.timer !== null) {
                clearTimeout(this.timer);
                this.timer = null;
            }
            const start = this.now();
            this.work();
            this.last = this.now();
            this.cost = this.last - start;
        }

        cancel() {
            if (this.timer !== null) {
                clearTimeout(this.timer);
                this.timer = null;
            }
        }
    }

    const core = {
        kCanvasWidth,
        kCanvasHeight,
        kBackground,
        kMaxLine,
        kMaxLines,
        kMaxBytes,
        kShownChars,
        kScreenChars,
        kScreenLines,
        kMaxRows,
        clipLine,
        rasterLine,
        drawSegment,
        fillPixels,
        packColour,
        readLenientNumber,
        roundHalfEven,
        getPacketParam,
        getDrawPacket,
        readDrawPacket,
        sha256,
        hmacSha256,
        toHex,
        challengeAnswer,
        LogKeep,
        lineBytes,
        shownSize,
        shownLine,
        splitLine,
        usersOf,
        Pacer,
    };

    if (typeof module === 'object' && module.exports) {
        module.exports = core;
    }
    if (typeof document === 'undefined') {
        return;
    }

    // ---- The page -------------------------------------------------------------------------------

    const kCaption = 'Zaplo\u00ae BETA - draw and chat together';
    const kPaceMs = 40;
    const kConnectTimeoutMs = 60000;
    const kChallengeWaitMs = 3000;
    // Swatches 0 to 7 form the upper row, 8 to 15 the lower one.
    const kPalette = [
        [0, 0, 0], [100, 100, 100], [215, 70, 1], [1, 215, 70], [70, 1, 215], [200, 200, 0],
        [2, 167, 182], [202, 2, 190], [255, 255, 255], [155, 155, 155], [255, 0, 0], [0, 255, 0],
        [0, 0, 255], [255, 255, 50], [0, 247, 250], [233, 115, 247],
    ];

    const byId = (id) => document.getElementById(id);
    const decoder = new TextDecoder('utf-8', { fatal: false });

    // A read-only box that grows at the top: the chat box and the status log. Every line is
    // kept within the window's bounds; the newest go on screen, one element each, as text.
    class LogView {
        constructor(element) {
            this.element = element;
            this.keep = new LogKeep(kMaxLines, kMaxBytes);
            this.lines = []; // kept lines, oldest first, from this.head
            this.head = 0;
            this.waiting = 0; // newest lines not yet on screen
            this.shown = 0;
            this.shownChars = 0;
            this.pacer = new Pacer(() => this.showPending(), kPaceMs, () => performance.now());
        }

        get kept() {
            return this.lines.length - this.head;
        }

        newest(i) {
            return this.lines[this.lines.length - 1 - i];
        }

        add(line) {
            this.lines.push(line);
            ++this.waiting;
            let nDrop = this.keep.add(lineBytes(line));
            while (nDrop-- > 0) {
                // The oldest kept line is the bottom one on screen, if it is on screen at all.
                const index = this.kept - 1; // counted from the newest
                if (index >= this.waiting && index < this.waiting + this.shown) {
                    const last = this.element.lastChild;
                    this.shownChars -= last.zaploSize;
                    last.remove();
                    --this.shown;
                }
                this.lines[this.head] = undefined;
                ++this.head;
            }
            this.waiting = Math.min(this.waiting, this.kept);
            if (this.head > 4096 && this.head * 2 > this.lines.length) {
                this.lines = this.lines.slice(this.head);
                this.head = 0;
            }
            this.pacer.ask();
        }

        // The lines kept, newest first, each followed by CR LF (as the window's box gives them).
        text() {
            let text = '';
            for (let i = this.lines.length - 1; i >= this.head; --i) {
                text += this.lines[i] + '\r\n';
            }
            return text;
        }

        clear() {
            this.pacer.cancel();
            this.keep.clear();
            this.lines = [];
            this.head = 0;
            this.waiting = 0;
            this.shown = 0;
            this.shownChars = 0;
            this.element.replaceChildren();
        }

        showPending() {
            if (this.waiting === 0) {
                return;
            }
            let nNew = 0;
            let nChars = 0;
            while (nNew < this.waiting && nNew < kScreenLines && nChars < kScreenChars) {
                nChars += shownSize(this.newest(nNew));
                ++nNew;
            }
            if (nNew < this.waiting || nChars + this.shownChars > 2 * kScreenChars ||
                nNew + this.shown > 2 * kScreenLines) {
                this.rebuild();
            } else {
                this.showTop(this.waiting);
                this.trim();
            }
            this.element.scrollTop = 0;
        }

        showTop(nNew) {
            const fragment = document.createDocumentFragment();
            for (let i = 0; i < nNew; ++i) {
                const line = this.newest(i);
                const row = document.createElement('div');
                row.textContent = shownLine(line);
                row.zaploSize = shownSize(line);
                row.zaploLine = line;
                fragment.append(row);
                this.shownChars += row.zaploSize;
            }
            this.element.prepend(fragment);
            this.shown += nNew;
            this.waiting -= nNew;
        }

        rebuild() {
            let nNew = 0;
            let nChars = 0;
            while (nNew < this.kept && nNew < kScreenLines &&
                   (nNew === 0 || nChars + shownSize(this.newest(nNew)) <= kScreenChars)) {
                nChars += shownSize(this.newest(nNew));
                ++nNew;
            }
            this.element.replaceChildren();
            this.shown = 0;
            this.shownChars = 0;
            this.waiting = nNew;
            this.showTop(nNew);
            this.waiting = 0; // older kept lines stay off screen
        }

        // Removing lines at the bottom goes well below the bounds at once, not one line for each
        // line added.
        trim() {
            if (this.shownChars <= kScreenChars && this.shown <= kScreenLines) {
                return;
            }
            while (this.shown > 1 && (this.shownChars > kScreenChars * 3 / 4 ||
                                      this.shown > kScreenLines * 3 / 4)) {
                const last = this.element.lastChild;
                this.shownChars -= last.zaploSize;
                last.remove();
                --this.shown;
            }
        }

        // Copying from the box copies the whole of each line the selection touches, also the
        // part that the screen cuts off.
        copyLines(event) {
            const selection = document.getSelection();
            if (!selection || selection.rangeCount === 0) {
                return;
            }
            const range = selection.getRangeAt(0);
            const rows = [];
            for (const row of this.element.children) {
                if (range.intersectsNode(row) && row.zaploLine !== undefined) {
                    rows.push(row.zaploLine + '\r\n');
                }
            }
            if (rows.length === 0 || !event.clipboardData) {
                return;
            }
            event.clipboardData.setData('text/plain', rows.join(''));
            event.preventDefault();
        }
    }

    // The user list: rows in the order they were added, at most kMaxRows; what goes on screen
    // follows the rows at the pace of the boxes.
    class UserListView {
        constructor(element) {
            this.element = element;
            this.rows = [];
            this.onScreen = 0;
            this.rebuild = false;
            this.selected = -1;
            this.pacer = new Pacer(() => this.render(), kPaceMs, () => performance.now());
            element.addEventListener('mousedown', (event) => {
                const row = event.target.closest('div[data-row]');
                if (row) {
                    this.select(Number(row.dataset.row));
                }
            });
            element.addEventListener('keydown', (event) => this.key(event));
        }

        add(name) {
            if (this.rows.length >= kMaxRows) {
                return;
            }
            this.rows.push(name);
            this.pacer.ask();
        }

        refresh() {
            this.rows = [];
            this.rebuild = true;
            this.selected = -1;
            this.pacer.ask();
        }

        names() {
            return this.rows.slice();
        }

        render() {
            if (this.rebuild) {
                this.element.replaceChildren();
                this.onScreen = 0;
                this.rebuild = false;
            }
            const fragment = document.createDocumentFragment();
            for (; this.onScreen < this.rows.length; ++this.onScreen) {
                const row = document.createElement('div');
                row.dataset.row = String(this.onScreen);
                row.setAttribute('role', 'option');
                row.textContent = shownLine(this.rows[this.onScreen]);
                fragment.append(row);
            }
            this.element.append(fragment);
        }

        select(index) {
            this.render();
            const rows = this.element.children;
            if (this.selected >= 0 && this.selected < rows.length) {
                rows[this.selected].classList.remove('selected');
            }
            this.selected = rows.length === 0 ? -1 : Math.max(0, Math.min(index, rows.length - 1));
            if (this.selected >= 0) {
                rows[this.selected].classList.add('selected');
                rows[this.selected].scrollIntoView({ block: 'nearest' });
            }
        }

        key(event) {
            const steps = { ArrowUp: -1, ArrowDown: 1, PageUp: -10, PageDown: 10 };
            if (event.key in steps) {
                this.select(Math.max(0, this.selected) + steps[event.key]);
            } else if (event.key === 'Home') {
                this.select(0);
            } else if (event.key === 'End') {
                this.select(this.rows.length - 1);
            } else {
                return;
            }
            event.preventDefault();
        }
    }

    // The canvas: a retained image that every segment, local or received, is drawn into; the
    // screen shows it at most once a frame.
    class CanvasView {
        constructor(element) {
            this.element = element;
            this.context = element.getContext('2d', { alpha: false });
            this.image = this.context.createImageData(kCanvasWidth, kCanvasHeight);
            this.blank = false;
            this.asked = false;
            this.erase();
        }

        drawSegment(sx, sy, dx, dy, clr) {
            this.blank = false;
            drawSegment(this.image.data, kCanvasWidth, kCanvasHeight, sx, sy, dx, dy, clr);
            this.repaint();
        }

        erase() {
            if (this.blank) {
                return; // a clear of a blank canvas changes nothing and costs nothing
            }
            fillPixels(this.image.data, kBackground);
            this.blank = true;
            this.repaint();
        }

        repaint() {
            if (this.asked) {
                return;
            }
            this.asked = true;
            requestAnimationFrame(() => this.paint());
        }

        paint() {
            this.asked = false;
            this.context.putImageData(this.image, 0, 0);
        }

        // Pointer position in canvas pixels, rounded down, held in 16 bits.
        coord(event) {
            const rect = this.element.getBoundingClientRect();
            const scaleX = rect.width > 0 ? kCanvasWidth / rect.width : 1;
            const scaleY = rect.height > 0 ? kCanvasHeight / rect.height : 1;
            const clamp = (v) => Math.max(-32768, Math.min(32767, v));
            return [clamp(Math.floor((event.clientX - rect.left) * scaleX)),
                    clamp(Math.floor((event.clientY - rect.top) * scaleY))];
        }
    }

    // What lives for the whole visit, like the program's run: the drawing colour and the last
    // point of the local stroke survive Reset.
    const run = { lDrawColor: 0, nLastX: 0, nLastY: 0 };

    // One session: one socket, its state and the window's contents.
    let session = null;
    let chat;
    let status;
    let users;
    let canvas;
    const swatches = [];
    const customBoxes = [];

    function setText(element, text) {
        element.textContent = text;
    }

    // The join prompt or the main window; neither after Exit.
    function showOnly(id) {
        for (const name of ['dlgJoin', 'frmMain']) {
            byId(name).hidden = name !== id;
        }
    }

    function showMessage(text, after) {
        const dialog = byId('dlgMessage');
        setText(byId('lblMessage'), text);
        dialog.hidden = false;
        const ok = byId('btnMessageOK');
        ok.onclick = () => {
            dialog.hidden = true;
            if (after) {
                after();
            }
        };
        ok.focus();
    }

    // The states of a session's link: connecting (the socket not yet open), answering (open,
    // waiting for a challenge before the join), joined (the join sent), closed.
    class Session {
        constructor(nick, password) {
            this.nick = nick;
            this.password = password;
            this.state = 'connecting';
            this.queue = [];
            this.sawChallenge = false;
            this.answered = false; // the join was answered with a user list
            this.lastStatus = '';
            this.ended = false; // left by Reset or Exit: nothing more is reported
            this.opened = false;
            const scheme = location.protocol === 'https:' ? 'wss:' : 'ws:';
            status.add('Connecting...');
            this.socket = new WebSocket(`${scheme}//${location.host}/ws`);
            this.socket.binaryType = 'arraybuffer';
            this.connectTimer = setTimeout(() => this.socket.close(), kConnectTimeoutMs);
            this.challengeTimer = null;
            this.socket.addEventListener('open', () => this.opened_());
            this.socket.addEventListener('message', (event) => this.received(event.data));
            this.socket.addEventListener('close', () => this.closed());
        }

        // The link is up (or the attempt is over): strokes and chat go out, or report
        // "No Server!" once the link is gone.
        get connected() {
            return this.state !== 'connecting';
        }

        opened_() {
            clearTimeout(this.connectTimer);
            if (this.ended) {
                return;
            }
            this.opened = true;
            this.state = 'answering';
            if (this.password === '') {
                this.join();
            } else {
                // A host with a password challenges at once; without one it never does.
                this.challengeTimer = setTimeout(() => this.join(), kChallengeWaitMs);
            }
        }

        join() {
            clearTimeout(this.challengeTimer);
            if (this.state !== 'answering') {
                return;
            }
            this.state = 'joined';
            this.sendLine('{2}' + this.nick);
            this.drain();
        }

        sendLine(line) {
            this.socket.send(utf8.encode(line));
        }

        send(code, data) {
            this.queue.push(code + data);
            this.drain();
        }

        drain() {
            if (this.state === 'joined' && this.socket.readyState === WebSocket.OPEN) {
                for (const line of this.queue) {
                    this.sendLine(line);
                }
                this.queue = [];
            } else if (this.state === 'closed') {
                for (let i = 0; i < this.queue.length; ++i) {
                    status.add('No Server!');
                }
                this.queue = [];
            }
        }

        received(data) {
            if (this.ended) {
                return;
            }
            let line;
            if (typeof data === 'string') {
                line = data;
            } else if (data.byteLength <= kMaxLine) {
                line = decoder.decode(data);
            } else {
                return; // longer than any line the session carries
            }
            const parts = splitLine(line);
            if (parts === null) {
                return;
            }
            const payload = parts.payload;
            switch (parts.code) {
                case '{1}':
                    chat.add(payload);
                    break;
                case '{2}':
                    users.add(payload);
                    this.status(payload + ' has joined!');
                    break;
                case '{8}':
                    users.refresh();
                    for (const name of usersOf(payload)) {
                        users.add(name);
                    }
                    this.answered = true;
                    break;
                case '{9}':
                    this.status(payload);
                    break;
                case '{10}': {
                    const record = readDrawPacket(payload);
                    if (record !== null) {
                        canvas.drawSegment(record.sx, record.sy, record.dx, record.dy, record.clr);
                    }
                    break;
                }
                case '{11}':
                    canvas.erase();
                    break;
                case '{12}':
                    this.challenge(payload);
                    break;
                default:
                    break; // any other code is skipped
            }
        }

        status(text) {
            this.lastStatus = text;
            status.add(text);
        }

        // Only the first challenge counts, and only before the join.
        challenge(text) {
            if (this.sawChallenge || !kChallengePattern.test(text)) {
                return;
            }
            this.sawChallenge = true;
            if (this.state === 'answering' && this.password !== '') {
                this.sendLine('{12}' + challengeAnswer(this.password, text));
                this.join();
            }
        }

        closed() {
            clearTimeout(this.connectTimer);
            clearTimeout(this.challengeTimer);
            const wasOpen = this.opened;
            this.state = 'closed';
            if (this.ended) {
                return;
            }
            if (!wasOpen) {
                showMessage('Connection failed!');
                this.drain();
                offerJoinAgain();
                return;
            }
            status.add('Lost connection to server!');
            this.drain();
            offerJoinAgain();
            const refused = !this.answered && this.sawChallenge &&
                            (this.lastStatus === 'This session needs a password.' ||
                             this.lastStatus === 'Wrong password.');
            if (refused) {
                askPassword(this.lastStatus === 'Wrong password.');
            }
        }

        leave() {
            this.ended = true;
            clearTimeout(this.connectTimer);
            clearTimeout(this.challengeTimer);
            this.socket.close();
        }
    }

    function freshWindow(nick) {
        document.title = `${kCaption} - ${nick} (Client)`;
        chat.clear();
        status.clear();
        users.refresh();
        users.render();
        canvas.blank = false;
        canvas.erase();
        for (const swatch of swatches) {
            swatch.classList.remove('marked');
        }
        for (const box of customBoxes) {
            box.value = '';
        }
        byId('txtChatSend').value = '';
        byId('mnuJoinAgain').hidden = true;
        closeMenu();
    }

    function startSession(nick, password) {
        if (session !== null) {
            session.leave();
        }
        showOnly('frmMain');
        freshWindow(nick);
        session = new Session(nick, password);
        byId('txtChatBox').focus();
    }

    function offerJoinAgain() {
        byId('mnuJoinAgain').hidden = false;
    }

    function askPassword(wrong) {
        const dialog = byId('dlgPassword');
        byId('lblWrongPassword').hidden = !wrong;
        byId('txtSessionPassword').value = '';
        byId('btnPasswordOK').disabled = true;
        dialog.hidden = false;
        byId('txtSessionPassword').focus();
    }

    function nickFromBox() {
        // A pasted line break would end the join early; like in a chat line it travels as a
        // blank.
        return byId('txtNick').value.replace(/[\r\n]/g, ' ').slice(0, kMaxNickChars);
    }

    // ---- Menu ------------------------------------------------------------------------------------

    function closeMenu() {
        byId('mnuFileItems').hidden = true;
        byId('mnuFile').setAttribute('aria-expanded', 'false');
    }

    function toggleMenu() {
        const items = byId('mnuFileItems');
        items.hidden = !items.hidden;
        byId('mnuFile').setAttribute('aria-expanded', String(!items.hidden));
    }

    function reset() {
        closeMenu();
        if (session !== null) {
            session.leave();
            session = null;
        }
        showOnly('dlgJoin');
        byId('txtNick').focus();
    }

    function exit() {
        closeMenu();
        if (session !== null) {
            session.leave();
            session = null;
        }
        window.close();
        // A tab the page did not open stays: it is left empty.
        showOnly('');
        document.title = kCaption;
    }

    // ---- Input handlers --------------------------------------------------------------------------

    function canvasHandlers(element) {
        let pointer = null; // the pointer whose press started the stroke
        const press = (event) => {
            pointer = event.pointerId;
            [run.nLastX, run.nLastY] = canvas.coord(event);
            if (session === null || !session.connected) {
                return;
            }
            // A press draws a segment of length zero, which marks nothing; it tells the peers.
            canvas.drawSegment(run.nLastX, run.nLastY, run.nLastX, run.nLastY, run.lDrawColor);
            session.send('{10}', getDrawPacket(run.nLastX, run.nLastY, run.nLastX, run.nLastY,
                                               run.lDrawColor));
        };
        const move = (event) => {
            const [x, y] = canvas.coord(event);
            canvas.drawSegment(run.nLastX, run.nLastY, x, y, run.lDrawColor);
            if (session !== null && session.connected) {
                session.send('{10}', getDrawPacket(run.nLastX, run.nLastY, x, y, run.lDrawColor));
            }
            run.nLastX = x;
            run.nLastY = y;
        };
        element.addEventListener('pointerdown', (event) => {
            event.preventDefault(); // drawing does not take the focus from the chat input
            if (event.button !== 0) {
                return;
            }
            element.setPointerCapture(event.pointerId);
            press(event);
        });
        element.addEventListener('pointermove', (event) => {
            if (event.pointerId !== pointer) {
                return;
            }
            // The left button pressed again while another one was held is a press of its own.
            if (event.button === 0 && (event.buttons & 1) !== 0) {
                press(event);
                return;
            }
            // A second button held with the left one pauses the stroke.
            if (event.buttons !== 1) {
                return;
            }
            // Every move the pointer made is a segment of its own; none are merged.
            const moves = event.getCoalescedEvents ? event.getCoalescedEvents() : [];
            for (const one of moves.length > 0 ? moves : [event]) {
                move(one);
            }
        });
        const release = (event) => {
            if (event.pointerId === pointer && event.buttons === 0) {
                pointer = null;
            }
        };
        element.addEventListener('pointerup', release);
        element.addEventListener('pointercancel', (event) => {
            if (event.pointerId === pointer) {
                pointer = null;
            }
        });
        element.addEventListener('contextmenu', (event) => event.preventDefault());
    }

    function customColourChanged() {
        for (const box of customBoxes) {
            if (readLenientNumber(box.value) > 255) {
                box.value = '255';
            }
        }
        const part = (box) => {
            const v = roundHalfEven(readLenientNumber(box.value));
            return !(v > 0) ? 0 : v >= 255 ? 255 : v;
        };
        run.lDrawColor = packColour(part(customBoxes[0]), part(customBoxes[1]),
                                    part(customBoxes[2]));
    }

    function swatchClicked(index) {
        for (const swatch of swatches) {
            swatch.classList.remove('marked');
        }
        const [r, g, b] = kPalette[index];
        run.lDrawColor = packColour(r, g, b);
        swatches[index].classList.add('marked');
    }

    function chatEnter() {
        const input = byId('txtChatSend');
        if (session !== null) {
            const line = ('{' + session.nick + '}' + input.value).replace(/[\r\n]/g, ' ');
            // A client sees its own line when the server's echo comes back.
            session.send('{1}', line);
        }
        input.value = '';
    }

    function clearClicked() {
        canvas.erase();
        if (session !== null) {
            session.send('{11}', '');
        }
    }

    function setUp() {
        chat = new LogView(byId('txtChatBox'));
        status = new LogView(byId('txtStatus'));
        users = new UserListView(byId('listUsers'));
        canvas = new CanvasView(byId('picCanvas'));
        for (const box of [chat, status]) {
            box.element.addEventListener('copy', (event) => box.copyLines(event));
        }

        for (let i = 0; i < kPalette.length; ++i) {
            const swatch = byId(`picCol_${i}`);
            const [r, g, b] = kPalette[i];
            swatch.style.backgroundColor = `rgb(${r}, ${g}, ${b})`;
            // A thin frame that stands out from the swatch's own colour, dark or light.
            const gray = (r * 11 + g * 16 + b * 5) >> 5;
            swatch.classList.add(gray < 128 ? 'dark' : 'light');
            swatch.addEventListener('pointerdown', (event) => event.preventDefault());
            swatch.addEventListener('click', () => swatchClicked(i));
            swatch.addEventListener('keydown', (event) => {
                if (event.key === ' ' || event.key === 'Enter') {
                    event.preventDefault();
                    swatchClicked(i);
                }
            });
            swatches.push(swatch);
        }
        for (let i = 0; i < 3; ++i) {
            const box = byId(`txtclrCustom_${i}`);
            box.addEventListener('input', customColourChanged);
            customBoxes.push(box);
        }
        canvasHandlers(byId('picCanvas'));
        byId('txtChatSend').addEventListener('keydown', (event) => {
            if (event.key === 'Enter' && !event.isComposing) {
                event.preventDefault();
                chatEnter();
            }
        });
        byId('btnClear').addEventListener('click', clearClicked);

        byId('mnuFile').addEventListener('click', toggleMenu);
        byId('mnuReset').addEventListener('click', reset);
        byId('mnuExit').addEventListener('click', exit);
        byId('mnuJoinAgain').addEventListener('click', () => {
            closeMenu();
            if (session !== null) {
                startSession(session.nick, session.password);
            }
        });
        document.addEventListener('pointerdown', (event) => {
            if (!event.target.closest('#menuBar')) {
                closeMenu();
            }
        });

        const joinClicked = () => startSession(nickFromBox(), byId('txtPassword').value);
        byId('btnOK').addEventListener('click', joinClicked);
        for (const id of ['txtNick', 'txtPassword']) {
            byId(id).addEventListener('keydown', (event) => {
                if (event.key === 'Enter' && !event.isComposing) {
                    event.preventDefault();
                    joinClicked();
                }
            });
        }

        // After a refusal: the password asked for, and the same nickname joins again with it.
        const passwordBox = byId('txtSessionPassword');
        passwordBox.addEventListener('input', () => {
            byId('btnPasswordOK').disabled = passwordBox.value === '';
        });
        const passwordGiven = () => {
            if (passwordBox.value === '' || session === null) {
                return;
            }
            byId('dlgPassword').hidden = true;
            byId('txtPassword').value = passwordBox.value;
            startSession(session.nick, passwordBox.value);
            passwordBox.value = '';
        };
        byId('btnPasswordOK').addEventListener('click', passwordGiven);
        passwordBox.addEventListener('keydown', (event) => {
            if (event.key === 'Enter' && !event.isComposing) {
                event.preventDefault();
                passwordGiven();
            } else if (event.key === 'Escape') {
                byId('dlgPassword').hidden = true;
            }
        });
        byId('btnPasswordCancel').addEventListener('click', () => {
            byId('dlgPassword').hidden = true;
            passwordBox.value = '';
        });

        showOnly('dlgJoin');
        byId('txtNick').focus();
    }

    if (document.readyState === 'loading') {
        document.addEventListener('DOMContentLoaded', setUp);
    } else {
        setUp();
    }
})();
