#!/usr/bin/env node
// Extracts the idiom list, meanings and pronunciations from the npm packages
// pinned in package.json into a plain UTF-8 table for build_idiom_db:
//   a header line "ID\tWORD\tW1\t...\tW9", then one line per idiom.
// Fields escape "\\", tab, newline and carriage return with a backslash.
// Usage: node extract.js <output.tsv>
'use strict';

const fs = require('fs');
const path = require('path');

const idiomPackage = require('cnchar-idiom');
const { pinyin } = require('pinyin-pro');

const explanationDir = path.join(path.dirname(require.resolve('cnchar-data/package.json')),
                                 'explanation');

// The window renders every column as HTML: plain text from the packages is
// escaped, only the anchors added here are mark-up.
function escapeHtml(s) {
    return s.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
}

function escapeField(s) {
    return s.replace(/\\/g, '\\\\').replace(/\t/g, '\\t').replace(/\n/g, '\\n').replace(/\r/g, '\\r');
}

function anchor(id, text) {
    return "<A href='" + id + ".html'>" + text + '</A>';
}

const words = idiomPackage.dict.idiom;
if (!Array.isArray(words) || words.length === 0)
    throw new Error('cnchar-idiom: no idiom list found');

// Dictionary order gives the IDs; they stay stable while the versions are pinned.
const idOf = new Map();
words.forEach((word, index) => {
    if (idOf.has(word))
        throw new Error('duplicate idiom ' + word);
    idOf.set(word, index + 1);
});

const explanations = new Map();
function meaningOf(word) {
    const first = Array.from(word)[0];
    if (!explanations.has(first)) {
        const file = path.join(explanationDir, first + '.json');
        explanations.set(first, fs.existsSync(file) ? JSON.parse(fs.readFileSync(file, 'utf8')) : {});
    }
    const value = explanations.get(first)[word];
    return typeof value === 'string' ? value : '';
}

const stats = { idioms: words.length, meanings: 0, resolved: 0, unresolved: 0, self: 0, linked: 0 };

// 见"X" (also 参见"X") and 同"X" point at another entry: where X is another
// idiom of the list the reference becomes a link to it.
const referencePattern = /(见|同)"([^"\n]+)"/g;

function renderSense(sense, word) {
    let out = '';
    let last = 0;
    for (const match of sense.matchAll(referencePattern)) {
        const target = match[2];
        // The meanings write the small comma "﹐" where the list has "，".
        const id = idOf.get(target) ?? idOf.get(target.replace(/﹐/g, '，'));
        if (id === undefined) {
            // A closing quote after 见 starts no reference.
            if (!/[《》。]/.test(target))
                ++stats.unresolved;
            continue;
        }
        if (id === idOf.get(word)) {
            ++stats.self;
            continue;
        }
        ++stats.resolved;
        const start = match.index + match[1].length + 1;
        out += escapeHtml(sense.slice(last, start)) + anchor(id, escapeHtml(target));
        last = start + target.length;
    }
    return out + escapeHtml(sense.slice(last));
}

// The source numbers every sense ("1.", "2.", one per line); a lone sense
// loses its number, several are kept one to a line.
function renderMeaning(raw, word) {
    const senses = raw.split(/\r?\n/).map((s) => s.trim()).filter((s) => s !== '');
    if (senses.length === 1)
        senses[0] = senses[0].replace(/^1\.\s*/, '');
    return senses.map((s) => renderSense(s, word)).join('<br>');
}

function pronunciationOf(word) {
    // Dictionary readings: 一 and 不 keep their own tones.
    return pinyin(word, { toneSandhi: false }).replace(/\s*，\s*/g, '，');
}

function main() {
    const output = process.argv[2];
    if (!output) {
        console.error('usage: node extract.js <output.tsv>');
        process.exit(2);
    }
    const lines = [['ID', 'WORD', 'W1', 'W2', 'W3', 'W4', 'W5', 'W6', 'W7', 'W8', 'W9'].join('\t')];
    for (const word of words) {
        const raw = meaningOf(word);
        const meaning = raw.trim() === '' ? '' : renderMeaning(raw, word);
        if (meaning !== '')
            ++stats.meanings;
        if (meaning.includes('<A href='))
            ++stats.linked;
        // W1 frequency, W4 source, W5 example, W6-W9: the packages carry none.
        const w = ['', escapeHtml(pronunciationOf(word)), meaning, '', '', '', '', '', ''];
        lines.push([String(idOf.get(word)), word, ...w].map(escapeField).join('\t'));
    }
    const temp = output + '.tmp';
    fs.writeFileSync(temp, lines.join('\n') + '\n', 'utf8');
    fs.renameSync(temp, output);
    console.log(`idioms ${stats.idioms}, meanings ${stats.meanings}, cross-references ` +
                `${stats.resolved} linked (in ${stats.linked} meanings), ` +
                `${stats.unresolved} not in the list and ${stats.self} to the idiom itself (plain)`);
}

main();
