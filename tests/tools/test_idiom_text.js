// The text rules of the idiom table extractor, on small made-up data.
'use strict';

const test = require('node:test');
const assert = require('node:assert');
const path = require('node:path');

const { escapeField, renderMeaning, formatPronunciation } =
    require(path.join(__dirname, '..', '..', 'tools', 'idioms', 'idiom_text.js'));

const idOf = new Map([['一心一意', 1], ['三心二意', 2], ['前人种树，后人乘凉', 3], ['半心半意', 4]]);

const cases = [
    { name: 'a lone "see" becomes a link and loses its number',
      raw: '1.见"一心一意"。', word: '半心半意',
      html: '见"<A href=\'1.html\'>一心一意</A>"。', stats: { resolved: 1, unresolved: 0, self: 0 } },
    { name: '"same as" and "see also" inside a sense',
      raw: '1.同"三心二意"。参见"一心一意"。', word: '半心半意',
      html: '同"<A href=\'2.html\'>三心二意</A>"。参见"<A href=\'1.html\'>一心一意</A>"。',
      stats: { resolved: 2, unresolved: 0, self: 0 } },
    { name: 'a target outside the list stays plain',
      raw: '1.见"梨枣"。', word: '半心半意',
      html: '见"梨枣"。', stats: { resolved: 0, unresolved: 1, self: 0 } },
    { name: 'a reference to the idiom itself stays plain',
      raw: '1.见"半心半意"。', word: '半心半意',
      html: '见"半心半意"。', stats: { resolved: 0, unresolved: 0, self: 1 } },
    { name: 'the small comma finds the idiom written with the full comma',
      raw: '1.见"前人种树﹐后人乘凉"。', word: '半心半意',
      html: '见"<A href=\'3.html\'>前人种树﹐后人乘凉</A>"。', stats: { resolved: 1, unresolved: 0, self: 0 } },
    { name: 'a quotation closing after 见 is no reference',
      raw: '1.与先主相见"裴松之注引《九州春秋》"备住荆州。', word: '半心半意',
      html: '与先主相见"裴松之注引《九州春秋》"备住荆州。', stats: { resolved: 0, unresolved: 0, self: 0 } },
    { name: 'mark-up characters of the source are escaped',
      raw: '1.a<b & c>d，见"一心一意"。', word: '半心半意',
      html: 'a&lt;b &amp; c&gt;d，见"<A href=\'1.html\'>一心一意</A>"。',
      stats: { resolved: 1, unresolved: 0, self: 0 } },
    { name: 'several senses keep their numbers, one to a line',
      raw: '1.一条河流。 \n2.见"一心一意"。\n', word: '半心半意',
      html: '1.一条河流。<br>2.见"<A href=\'1.html\'>一心一意</A>"。',
      stats: { resolved: 1, unresolved: 0, self: 0 } },
    { name: 'no meaning gives an empty column', raw: '', word: '半心半意', html: '',
      stats: { resolved: 0, unresolved: 0, self: 0 } },
];

for (const c of cases) {
    test(c.name, () => {
        const stats = { resolved: 0, unresolved: 0, self: 0 };
        assert.strictEqual(renderMeaning(c.raw, c.word, idOf, stats), c.html);
        assert.deepStrictEqual(stats, c.stats);
    });
}

test('fields escape what would split a line or a field', () => {
    assert.strictEqual(escapeField('a\tb\nc\rd\\e'), 'a\\tb\\nc\\rd\\\\e');
});

test('the comma of a two-part idiom is kept tight in its pinyin', () => {
    assert.strictEqual(formatPronunciation('bīng lái jiàng dǎng ， shuǐ lái tǔ yǎn'),
                       'bīng lái jiàng dǎng，shuǐ lái tǔ yǎn');
});
