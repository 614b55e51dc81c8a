#include "tracksearch.h"

#include "tracktable.h"

#include <algorithm>
#include <cstdint>

namespace sondrel {

namespace {

// The fields a word is looked for in.
constexpr int SearchedFields[] = {FieldTitle,    FieldArtist, FieldAlbum,  FieldAlbumArtist,
                                  FieldComposer, FieldGenre,  FieldComment};

constexpr char FieldEnd = '\n';

bool isMark(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
        return true;
    default:
        return false;
    }
}

// The folded form of one character (a UTF-16 unit, or a surrogate pair): its canonical
// decomposition without combining marks, case folded. Decomposition and simple case
// folding both map single characters, and the marks that canonical ordering would move
// are dropped, so a text folds as its characters do, one by one.
std::string foldedCharacter(QStringView character)
{
    const QString decomposed = character.toString().normalized(QString::NormalizationForm_D);
    QString unmarked;
    for (qsizetype i = 0; i < decomposed.size(); ++i) {
        const QChar c = decomposed[i];
        const bool pair =
            c.isHighSurrogate() && i + 1 < decomposed.size() && decomposed[i + 1].isLowSurrogate();
        const char32_t code = pair ? QChar::surrogateToUcs4(c, decomposed[i + 1]) : c.unicode();
        if (!isMark(code))
            unmarked += QStringView(decomposed).mid(i, pair ? 2 : 1);
        i += pair ? 1 : 0;
    }
    return unmarked.toCaseFolded().toStdString();
}

// The folded forms of the 16-bit characters met so far, so that folding the fields of a
// whole library decomposes each character once.
class FoldedCharacters
{
public:
    const std::string &of(QChar c)
    {
        std::int32_t &at = m_index[c.unicode()];
        if (at < 0) {
            at = std::int32_t(m_forms.size());
            m_forms.push_back(foldedCharacter(QStringView(&c, 1)));
        }
        return m_forms[std::size_t(at)];
    }

private:
    std::vector<std::int32_t> m_index = std::vector<std::int32_t>(0x10000, -1);
    std::vector<std::string> m_forms;
};

// ASCII, most of the text, folds to its lower case without a look-up.
void appendFolded(std::string &out, QStringView text, FoldedCharacters *known)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.unicode() < 0x80) {
            const char byte = char(c.unicode());
            out += byte >= 'A' && byte <= 'Z' ? char(byte - 'A' + 'a') : byte;
        } else if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += foldedCharacter(text.mid(i, 2));
            ++i;
        } else if (known) {
            out += known->of(c);
        } else {
            out += foldedCharacter(text.mid(i, 1));
        }
    }
}

} // namespace

std::string foldedForSearch(QStringView text)
{
    std::string folded;
    folded.reserve(std::size_t(text.size()));
    appendFolded(folded, text, nullptr);
    return folded;
}

bool SearchWords::narrows(const SearchWords &wider) const
{
    return std::all_of(wider.words.begin(), wider.words.end(), [this](const std::string &w) {
        return std::any_of(words.begin(), words.end(), [&w](const std::string &mine) {
            return mine.find(w) != std::string::npos;
        });
    });
}

SearchWords searchWords(QStringView query)
{
    SearchWords result;
    qsizetype from = 0;
    while (from < query.size()) {
        while (from < query.size() && query[from].isSpace())
            ++from;
        qsizetype to = from;
        while (to < query.size() && !query[to].isSpace())
            ++to;
        if (to > from) {
            std::string word = foldedForSearch(query.mid(from, to - from));
            // A word of combining marks alone folds to nothing, and nothing is in every text.
            if (!word.empty())
                result.words.push_back(std::move(word));
        }
        from = to;
    }
    // The longest word first: it is the rarest, and the others are then looked for in
    // fewer tracks.
    std::stable_sort(
        result.words.begin(), result.words.end(),
        [](const std::string &a, const std::string &b) { return a.size() > b.size(); });
    return result;
}

TrackSearch::TrackSearch(const TrackTable &table)
{
    m_start.reserve(std::size_t(table.count()) + 1);
    m_start.push_back(0);
    FoldedCharacters known;
    for (int k = 1; k <= table.count(); ++k) {
        for (const int field : SearchedFields) {
            appendFolded(m_text, table.text(k, field), &known);
            m_text += FieldEnd;
        }
        m_start.push_back(m_text.size());
    }
    m_text.shrink_to_fit();
}

bool TrackSearch::matches(int k, const SearchWords &words) const
{
    if (k < 1 || k > count())
        return false;
    const std::string_view text = textOf(k);
    return std::all_of(words.words.begin(), words.words.end(), [text](const std::string &word) {
        return text.find(word) != std::string_view::npos;
    });
}

std::vector<int> TrackSearch::filter(std::span<const int> tracks, const SearchWords &words) const
{
    const std::vector<char> matched = matchAll(words);
    std::vector<int> found;
    found.reserve(tracks.size());
    for (const int k : tracks) {
        if (k >= 1 && k <= count() && matched[std::size_t(k - 1)])
            found.push_back(k);
    }
    return found;
}

std::vector<char> TrackSearch::matchAll(const SearchWords &words) const
{
    const int n = count();
    if (words.isEmpty())
        return std::vector<char>(std::size_t(n), 1);
    // The first (longest) word through the whole text: from each place it occurs, the
    // search goes on at the next track's text.
    std::vector<char> matched(std::size_t(n), 0);
    const std::string_view text = m_text;
    const std::string &first = words.words.front();
    std::size_t k = 0; // the track whose text holds the place found
    for (std::size_t at = text.find(first); at != std::string_view::npos;
         at = text.find(first, m_start[k + 1])) {
        while (m_start[k + 1] <= at)
            ++k;
        matched[k] = 1;
    }
    // The other words only in the texts of the tracks found so far.
    if (words.words.size() > 1) {
        for (std::size_t i = 0; i < matched.size(); ++i) {
            if (matched[i])
                matched[i] = matches(int(i) + 1, words);
        }
    }
    return matched;
}

} // namespace sondrel
