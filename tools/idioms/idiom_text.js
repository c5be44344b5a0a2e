// The text rules of the idiom table, free of the npm packages so that they
// can be tested on their own.
'use strict';

// The window renders every column as HTML: plain text from the packages is
// escaped, only the anchors added here are mark-up.
function escapeHtml(s) {
    return s.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
}

// One field of the table: backslash, tab, newline and carriage return escaped.
function escapeField(s) {
    return s.replace(/\\/g, '\\\\').replace(/\t/g, '\\t').replace(/\n/g, '\\n').replace(/\r/g, '\\r');
}

// The stored form of a cross-reference, which the window turns into a link.
function anchor(id, text) {
    return "<A href='" + id + ".html'>" + text + '</A>';
}

function newStats() {
    return { resolved: 0, unresolved: 0, self: 0 };
}

// 见"X" (also 参见"X") and 同"X" point at another entry.
const referencePattern = /(见|同)"([^"\n]+)"/g;

// One sense: HTML-escaped, with each reference to another idiom of the list
// made a link to it. `idOf` maps idioms to IDs.
function renderSense(sense, word, idOf, stats) {
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
function renderMeaning(raw, word, idOf, stats = newStats()) {
    const senses = raw.split(/\r?\n/).map((s) => s.trim()).filter((s) => s !== '');
    if (senses.length === 1)
        senses[0] = senses[0].replace(/^1\.\s*/, '');
    return senses.map((s) => renderSense(s, word, idOf, stats)).join('<br>');
}

// Pinyin as the dictionary writes it: syllables apart, the comma of a
// two-part idiom kept without spaces around it.
function formatPronunciation(syllables) {
    return escapeHtml(syllables.replace(/\s*，\s*/g, '，'));
}

module.exports = { escapeHtml, escapeField, anchor, newStats, renderMeaning, formatPronunciation };
