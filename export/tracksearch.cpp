#include "tracksearch.h"

#include "tracktable.h"

#include <algorithm>

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

// Most fields are plain ASCII, whose folded form is its lower case: those are folded
// byte by byte, without the detour through decomposition.
void appendFolded(std::string &out, QStringView text)
{
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](QChar c) { return c.unicode() < 0x80; });
    if (ascii) {
        for (const QChar c : text) {
            const char byte = char(c.unicode());
            out += byte >= 'A' && byte <= 'Z' ? char(byte - 'A' + 'a') : byte;
        }
        return;
    }
    const QString decomposed = text.toString().normalized(QString::NormalizationForm_D);
    QString unmarked;
    unmarked.reserve(decomposed.size());
    for (qsizetype i = 0; i < decomposed.size(); ++i) {
        const QChar c = decomposed[i];
        const bool pair = c.isHighSurrogate() && i + 1 < decomposed.size() &&
                          decomposed[i + 1].isLowSurrogate();
        const char32_t code = pair ? QChar::surrogateToUcs4(c, decomposed[i + 1]) : c.unicode();
        if (!isMark(code))
            unmarked += QStringView(decomposed).mid(i, pair ? 2 : 1);
        i += pair ? 1 : 0;
    }
    out += unmarked.toCaseFolded().toStdString();
}

} // namespace

std::string foldedForSearch(QStringView text)
{
    std::string folded;
    folded.reserve(std::size_t(text.size()));
    appendFolded(folded, text);
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
    std::stable_sort(result.words.begin(), result.words.end(),
                     [](const std::string &a, const std::string &b) { return a.size() > b.size(); });
    return result;
}

TrackSearch::TrackSearch(const TrackTable &table)
{
    m_start.reserve(std::size_t(table.count()) + 1);
    m_start.push_back(0);
    for (int k = 1; k <= table.count(); ++k) {
        for (const int field : SearchedFields) {
            appendFolded(m_text, table.text(k, field));
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
    std::vector<int> found;
    found.reserve(tracks.size());
    for (const int k : tracks) {
        if (matches(k, words))
            found.push_back(k);
    }
    return found;
}

} // namespace sondrel
