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
const { escapeField, newStats, renderMeaning, formatPronunciation } = require('./idiom_text');

const explanationDir = path.join(path.dirname(require.resolve('cnchar-data/package.json')),
                                 'explanation');

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

// The meanings are filed by the word's first character.
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

function main() {
    const output = process.argv[2];
    if (!output) {
        console.error('usage: node extract.js <output.tsv>');
        process.exit(2);
    }
    const stats = { ...newStats(), meanings: 0, linked: 0 };
    const lines = [['ID', 'WORD', 'W1', 'W2', 'W3', 'W4', 'W5', 'W6', 'W7', 'W8', 'W9'].join('\t')];
    for (const word of words) {
        const raw = meaningOf(word);
        const meaning = renderMeaning(raw, word, idOf, stats);
        if (meaning !== '')
            ++stats.meanings;
        if (meaning.includes('<A href='))
            ++stats.linked;
        // Dictionary readings: 一 and 不 keep their own tones.
        const pronunciation = formatPronunciation(pinyin(word, { toneSandhi: false }));
        // W1 frequency, W4 source, W5 example, W6-W9: the packages carry none.
        const w = ['', pronunciation, meaning, '', '', '', '', '', ''];
        lines.push([String(idOf.get(word)), word, ...w].map(escapeField).join('\t'));
    }
    const temp = output + '.tmp';
    fs.writeFileSync(temp, lines.join('\n') + '\n', 'utf8');
    fs.renameSync(temp, output);
    console.log(`idioms ${words.length}, meanings ${stats.meanings}, cross-references ` +
                `${stats.resolved} linked (in ${stats.linked} meanings), ${stats.unresolved} ` +
                `not in the list and ${stats.self} to the idiom itself (plain)`);
}

main();
