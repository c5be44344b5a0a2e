#include "fixture_db.h"

#include "idiom_db_builder.h"

namespace {

// Shorthand for a row whose W columns are given as readable text.
FixtureRow row(std::optional<std::string> id, std::optional<std::string> word,
               std::array<std::optional<std::string>, 9> w = {}) {
    FixtureRow r;
    r.id = std::move(id);
    r.word = std::move(word);
    r.w = std::move(w);
    return r;
}

} // namespace

void writeFixtureDatabase(const std::string& path, const std::vector<FixtureRow>& rows) {
    std::vector<StoredRow> stored;
    for (const FixtureRow& r : rows) {
        StoredRow& s = stored.emplace_back();
        s.id = r.id;
        s.word = r.word;
        for (std::size_t k = 0; k < 9; ++k) {
            if (r.rawW[k])
                s.w[k] = r.rawW[k];
            else if (r.w[k])
                s.w[k] = encipherColumn(*r.w[k]);
        }
    }
    writeDataTable(path, stored);
}

// The rows, in table order (SQLite returns them in this order for both
// queries). Other suites rely on them: add rows at the end, never renumber.
//
//  ID     WORD              what it is for
//  1      一心一意           an ordinary idiom, all nine columns, pinyin in W2
//  57     三心二意           the target of the cross-references
//  2      <b>一鸣惊人</b>     a word holding mark-up
//  a'b    a'b一言为定        a quote in the ID and in the word
//  3      专心致志           cross-references to 57 in W1, W2 and W6
//  4      半途而废           W3 stored as invalid hex ("4G21")
//  5      虎头蛇尾           W1 and W4..W9 null, W2 and W3 set
//  7      画龙点睛           first of two rows with ID 7
//  7      画蛇添足           second row with ID 7: never shown
//  8      一字千金OK         Latin letters: "ok" finds it but marks nothing
//  9      一路顺风           W3 holds a plain web link without "#"
//  10     十拿九稳100%       a literal "%" in the word
//  11     (null)            a null WORD: no search ever lists it
std::vector<FixtureRow> standardFixtureRows() {
    std::vector<FixtureRow> rows;
    rows.push_back(row("1", "一心一意",
                       {"常用", "yī xīn yī yì", "只有一个心眼儿，没有别的考虑。", "《三国志·魏书》",
                        "他一心一意地工作。", "专心致志", "三心二意", "heart and soul",
                        "作谓语、状语；含褒义"}));
    rows.push_back(row("57", "三心二意",
                       {"常用", "sān xīn èr yì", "又想这样又想那样，犹豫不定。",
                        "元·关汉卿《救风尘》", "做事不能三心二意。", "犹豫不决", "一心一意",
                        "be of two minds", "作谓语、定语；含贬义"}));
    rows.push_back(
        row("2", "<b>一鸣惊人</b>",
            {"常用", "yī míng jīng rén", "比喻平时没有突出的表现，一下子做出惊人的成绩。",
             "《史记·滑稽列传》", "此鸟不飞则已，一飞冲天；不鸣则已，一鸣惊人。", "", "",
             "set the world on fire", "作谓语、宾语"}));
    rows.push_back(row("a'b", "a'b一言为定",
                       {"一般", "yī yán wéi dìng", "一句话说定了，不再更改。", "", "", "", "",
                        "that's settled", ""}));
    rows.push_back(
        row("3", "专心致志",
            {"常用，见<A href='57.html'>三心二意</A>",
             "zhuān xīn zhì zhì <A href='57.html'>三心二意</A>", "把心思全放在上面。",
             "《孟子·告子上》", "", "<A href='57.html'>三心二意</A>", "", "wholehearted", ""}));
    FixtureRow badHex = row("4", "半途而废", {"常用", "bàn tú ér fèi"});
    badHex.rawW[2] = "4G21";
    rows.push_back(badHex);
    rows.push_back(row("5", "虎头蛇尾", {std::nullopt, "hǔ tóu shé wěi", "比喻做事有始无终。"}));
    rows.push_back(row("7", "画龙点睛", {"常用", "huà lóng diǎn jīng", "比喻在关键处点明要旨。"}));
    rows.push_back(row("7", "画蛇添足", {"常用", "huà shé tiān zú", "比喻做了多余的事。"}));
    rows.push_back(row("8", "一字千金OK", {"一般", "yī zì qiān jīn"}));
    rows.push_back(row("9", "一路顺风",
                       {"常用", "yī lù shùn fēng",
                        "旅途平安，见<a href=\"http://127.0.0.1:1/plain.html\">链接</a>"}));
    rows.push_back(row("10", "十拿九稳100%", {"常用", "shí ná jiǔ wěn"}));
    rows.push_back(row("11", std::nullopt, {"常用"}));
    return rows;
}
