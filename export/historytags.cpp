#include "historytags.h"

#include "audiolayout.h"
#include "coverart.h"
#include "filesystem.h"
#include "platformerror.h"

#include <taglib/aifffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/popularimeterframe.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tiostream.h>
#include <taglib/wavfile.h>

#include <QFileInfo>

#include <algorithm>
#include <vector>

namespace sondrel {

HistoryFormat historyFormat(const std::string &fileName)
{
    const QString extension = QFileInfo(QString::fromStdString(fileName)).suffix().toLower();
    if (extension == QLatin1String("mp3"))
        return HistoryFormat::Mpeg;
    if (extension == QLatin1String("wav"))
        return HistoryFormat::Wav;
    if (extension == QLatin1String("aif") || extension == QLatin1String("aiff") ||
        extension == QLatin1String("aifc"))
        return HistoryFormat::Aiff;
    if (extension == QLatin1String("m4a") || extension == QLatin1String("m4b"))
        return HistoryFormat::Mp4;
    return HistoryFormat::None;
}

int starsOf(std::uint8_t rating)
{
    return std::min((int(rating) + 10) / 20, 5);
}

std::optional<HistoryTags> historyTagsFor(HistoryFormat format, std::uint8_t rating,
                                          std::uint32_t plays)
{
    const HistoryTags tags{starsOf(rating), plays};
    if (format == HistoryFormat::None || tags == HistoryTags{})
        return std::nullopt;
    return tags;
}

int popmRating(int stars)
{
    constexpr int Ratings[] = {0, 1, 64, 128, 196, 255};
    return Ratings[std::clamp(stars, 0, 5)];
}

QString fmpsRating(int stars)
{
    const int tenths = std::clamp(stars, 0, 5) * 2; // stars / 5 in tenths
    return QStringLiteral("%1.%2").arg(tenths / 10).arg(tenths % 10);
}

QString fmpsPlaycount(std::uint32_t plays)
{
    return QString::number(plays);
}

namespace {

// TagLib's view of a staged copy: every read and write goes to the copy's own open file,
// and `map` learns where each byte then comes from. A failure is kept (TagLib does not
// expect exceptions) and reads then come back empty.
class StagedStream : public TagLib::IOStream
{
public:
    StagedStream(StagedCopy &copy, CopyMap &map) : m_copy(copy), m_map(map) {}

    const std::optional<QString> &failure() const { return m_failure; }

    TagLib::FileName name() const override { return m_copy.temporaryPath().c_str(); }

    TagLib::ByteVector readBlock(unsigned long length) override
    {
        TagLib::ByteVector block;
        if (m_failure || length == 0)
            return block;
        const auto end = std::uint64_t(this->length());
        if (m_position >= end)
            return block;
        block.resize(static_cast<unsigned int>(std::min<std::uint64_t>(length, end - m_position)));
        const std::size_t got =
            attempt([&] { return m_copy.readAt(m_position, block.data(), block.size()); });
        block.resize(static_cast<unsigned int>(got));
        m_position += got;
        return block;
    }

    void writeBlock(const TagLib::ByteVector &data) override
    {
        if (m_failure)
            return;
        attempt([&] {
            m_map.write(m_position, data.size());
            m_copy.writeAt(m_position, data.data(), data.size());
        });
        m_position += data.size();
        m_length.reset();
    }

    // Moves what follows the replaced bytes in large blocks, from the end when the file
    // grows and from the front when it shrinks, then writes `data` in their place.
    void insert(const TagLib::ByteVector &data, unsigned long start, unsigned long replace) override
    {
        if (m_failure)
            return;
        attempt([&] {
            const std::uint64_t end = m_copy.size();
            const std::uint64_t from = std::min<std::uint64_t>(start, end);
            const std::uint64_t tail = std::min<std::uint64_t>(from + replace, end);
            const std::uint64_t to = from + data.size(); // where the tail goes
            m_map.replace(from, tail - from, data.size());
            if (to != tail) {
                if (m_buffer.empty())
                    m_buffer.resize(std::size_t(1) << 20);
                const std::uint64_t count = end - tail;
                for (std::uint64_t moved = 0; moved < count;) {
                    const std::uint64_t n = std::min<std::uint64_t>(m_buffer.size(), count - moved);
                    // Growing: the last blocks first, so that none is overwritten unread.
                    const std::uint64_t offset = to > tail ? count - moved - n : moved;
                    if (m_copy.readAt(tail + offset, m_buffer.data(), std::size_t(n)) != n)
                        throw PlatformError(0, "the copy became shorter while it was tagged");
                    m_copy.writeAt(to + offset, m_buffer.data(), std::size_t(n));
                    moved += n;
                }
                if (to < tail)
                    m_copy.resize(end - (tail - to));
            }
            m_copy.writeAt(from, data.data(), data.size());
            m_position = to;
        });
        m_length.reset();
    }

    void removeBlock(unsigned long start, unsigned long length) override
    {
        insert(TagLib::ByteVector(), start, length);
    }

    bool readOnly() const override { return false; }
    bool isOpen() const override { return true; }

    void seek(long offset, Position p) override
    {
        long base = 0;
        if (p == Current)
            base = long(m_position);
        else if (p == End)
            base = length();
        m_position = std::uint64_t(std::max(0L, base + offset));
    }

    long tell() const override { return long(m_position); }

    long length() override
    {
        if (!m_length)
            m_length = attempt([&] { return m_copy.size(); });
        return long(*m_length);
    }

    void truncate(long length) override
    {
        if (m_failure)
            return;
        attempt([&] {
            m_map.resize(std::uint64_t(std::max(0L, length)));
            m_copy.resize(std::uint64_t(std::max(0L, length)));
        });
        m_length.reset();
    }

private:
    // The work's result, or a value-initialised one when it raised.
    template <typename Work> auto attempt(Work work) -> decltype(work())
    {
        try {
            return work();
        } catch (const PlatformError &error) {
            if (!m_failure)
                m_failure = QString::fromStdString(error.description());
            return decltype(work())();
        }
    }

    StagedCopy &m_copy;
    CopyMap &m_map;
    std::uint64_t m_position = 0;
    std::optional<std::uint64_t> m_length; // known until the next write
    std::optional<QString> m_failure;
    std::vector<char> m_buffer;
};

// A 2.4 tag stays 2.4; every other (none, 2.2, 2.3) is written as 2.3, which Windows reads.
TagLib::ID3v2::Version versionOf(bool hasTag, const TagLib::ID3v2::Tag *tag)
{
    return hasTag && tag && tag->header()->majorVersion() == 4 ? TagLib::ID3v2::v4
                                                               : TagLib::ID3v2::v3;
}

void setUserText(TagLib::ID3v2::Tag *tag, const char *description,
                 const std::optional<QString> &value)
{
    const TagLib::String wanted = TagLib::String(description).upper();
    const TagLib::ID3v2::FrameList frames = tag->frameList("TXXX"); // a copy: frames go
    for (TagLib::ID3v2::Frame *frame : frames) {
        const auto *text = dynamic_cast<TagLib::ID3v2::UserTextIdentificationFrame *>(frame);
        if (text && text->description().upper() == wanted)
            tag->removeFrame(frame, true);
    }
    if (value) {
        tag->addFrame(new TagLib::ID3v2::UserTextIdentificationFrame(
            TagLib::String(description), TagLib::StringList(TagLib::String(value->toStdString())),
            TagLib::String::Latin1));
    }
}

void setId3(TagLib::ID3v2::Tag *tag, const HistoryTags &tags)
{
    tag->removeFrames("POPM"); // several confuse the common readers
    auto *popm = new TagLib::ID3v2::PopularimeterFrame();
    popm->setEmail(TagLib::String(PopmEmail));
    popm->setRating(popmRating(tags.stars));
    popm->setCounter(tags.plays);
    tag->addFrame(popm);
    setUserText(tag, "FMPS_Rating",
                tags.stars > 0 ? std::optional<QString>(fmpsRating(tags.stars)) : std::nullopt);
    setUserText(tag, "FMPS_Playcount", fmpsPlaycount(tags.plays));
}

void setMp4(TagLib::MP4::Tag *tag, const HistoryTags &tags)
{
    const auto item = [](const QString &value) {
        return TagLib::MP4::Item(TagLib::StringList(TagLib::String(value.toStdString())));
    };
    if (tags.stars > 0)
        tag->setItem(Mp4RatingItem, item(fmpsRating(tags.stars)));
    else
        tag->removeItem(Mp4RatingItem);
    tag->setItem(Mp4PlaycountItem, item(fmpsPlaycount(tags.plays)));
}

// The player's cover into an ID3v2 tag without a picture; true when it was put in.
bool addId3Cover(TagLib::ID3v2::Tag *tag, CoverRequest &cover)
{
    if (!tag->frameList("APIC").isEmpty()) {
        cover.outcome = CoverOutcome::OwnPicture;
        return false;
    }
    const std::shared_ptr<const JpegBytes> jpeg = cover.jpeg ? cover.jpeg() : nullptr;
    if (!jpeg || jpeg->empty())
        return false;
    auto *frame = new TagLib::ID3v2::AttachedPictureFrame();
    frame->setTextEncoding(TagLib::String::Latin1);
    frame->setMimeType(TagLib::String("image/jpeg"));
    frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    frame->setPicture(TagLib::ByteVector(reinterpret_cast<const char *>(jpeg->data()),
                                         static_cast<unsigned int>(jpeg->size())));
    tag->addFrame(frame);
    cover.outcome = CoverOutcome::Written;
    return true;
}

// The same for an MP4 file's "covr" item.
bool addMp4Cover(TagLib::MP4::Tag *tag, CoverRequest &cover)
{
    if (tag->contains("covr") && !tag->item("covr").toCoverArtList().isEmpty()) {
        cover.outcome = CoverOutcome::OwnPicture;
        return false;
    }
    const std::shared_ptr<const JpegBytes> jpeg = cover.jpeg ? cover.jpeg() : nullptr;
    if (!jpeg || jpeg->empty())
        return false;
    TagLib::MP4::CoverArtList list;
    list.append(
        TagLib::MP4::CoverArt(TagLib::MP4::CoverArt::JPEG,
                              TagLib::ByteVector(reinterpret_cast<const char *>(jpeg->data()),
                                                 static_cast<unsigned int>(jpeg->size()))));
    tag->setItem("covr", TagLib::MP4::Item(list));
    cover.outcome = CoverOutcome::Written;
    return true;
}

// The history and the cover into an ID3v2 tag; true when it changed.
bool setId3Tags(TagLib::ID3v2::Tag *tag, const HistoryTags *tags, CoverRequest *cover)
{
    if (tags)
        setId3(tag, *tags);
    const bool covered = cover && addId3Cover(tag, *cover);
    return tags || covered;
}

// Writes the tags and the cover with TagLib: why not, or nothing when they were saved;
// `changed` tells whether anything was to be saved.
std::optional<QString> saveTags(StagedCopy &copy, CopyMap &map, HistoryFormat format,
                                const HistoryTags *tags, CoverRequest *cover, bool &changed)
{
    StagedStream stream(copy, map);
    bool valid = false;
    bool saved = false;
    try {
        switch (format) {
        case HistoryFormat::None:
            return std::nullopt;
        case HistoryFormat::Mpeg: {
            TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
            valid = file.isValid();
            if (valid) {
                const TagLib::ID3v2::Version version =
                    versionOf(file.hasID3v2Tag(), file.ID3v2Tag());
                changed = setId3Tags(file.ID3v2Tag(true), tags, cover);
                saved = !changed || file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone,
                                              version, TagLib::File::DoNotDuplicate);
            }
            break;
        }
        case HistoryFormat::Wav: {
            TagLib::RIFF::WAV::File file(&stream, false);
            valid = file.isValid();
            if (valid) {
                const TagLib::ID3v2::Version version =
                    versionOf(file.hasID3v2Tag(), file.ID3v2Tag());
                changed = setId3Tags(file.ID3v2Tag(), tags, cover);
                saved = !changed ||
                        file.save(TagLib::RIFF::WAV::File::ID3v2, TagLib::File::StripNone, version);
            }
            break;
        }
        case HistoryFormat::Aiff: {
            TagLib::RIFF::AIFF::File file(&stream, false);
            valid = file.isValid();
            if (valid) {
                const TagLib::ID3v2::Version version = versionOf(file.hasID3v2Tag(), file.tag());
                changed = setId3Tags(file.tag(), tags, cover);
                saved = !changed || file.save(version);
            }
            break;
        }
        case HistoryFormat::Mp4: {
            TagLib::MP4::File file(&stream, false);
            valid = file.isValid() && file.tag();
            if (valid) {
                if (tags)
                    setMp4(file.tag(), *tags);
                const bool covered = cover && addMp4Cover(file.tag(), *cover);
                changed = tags || covered;
                saved = !changed || file.save();
            }
            break;
        }
        }
    } catch (const std::exception &error) { // TagLib's own (out of memory on a damaged file)
        return QStringLiteral("TagLib failed: ") + QString::fromLocal8Bit(error.what());
    }
    if (stream.failure())
        return *stream.failure();
    if (!valid)
        return QStringLiteral("TagLib could not read the file");
    if (!saved)
        return QStringLiteral("TagLib could not save the tags");
    return std::nullopt;
}

// The ID3 chunk of a WAV or AIFF copy named "id3 ", as the common readers look for it
// (TagLib writes "ID3 "); false when the copy holds other than exactly one.
bool nameId3Chunk(StagedCopy &copy, const AudioLayout &layout)
{
    if (layout.id3Chunks != 1)
        return false;
    if (!layout.id3ChunkLowerCase)
        copy.writeAt(layout.id3ChunkAt, "id3 ", 4);
    return true;
}

} // namespace

std::optional<QString> writeHistoryTags(StagedCopy &copy, HistoryFormat format,
                                        const HistoryTags &tags)
{
    return writeCopyTags(copy, format, &tags, nullptr);
}

std::optional<QString> writeCopyTags(StagedCopy &copy, HistoryFormat format,
                                     const HistoryTags *tags, CoverRequest *cover)
{
    if (format == HistoryFormat::None || (!tags && !cover))
        return std::nullopt;
    try {
        // The file's own bytes decide, not its name: TagLib would put an ID3v2 tag in
        // front of MP4 boxes named .mp3, and so move every byte their offsets point at.
        if (copy.size() == 0)
            return QStringLiteral("the file is too short to hold audio");
        if (contentFormat(copy) != format)
            return QStringLiteral("the file's content is not ") + formatName(format);
        QString why;
        const std::optional<AudioLayout> before = audioLayout(copy, format, why);
        if (!before)
            return why;
        const std::vector<char> edges = partEdges(copy, *before);
        CopyMap map(copy.size());
        bool changed = false;
        if (std::optional<QString> refused = saveTags(copy, map, format, tags, cover, changed))
            return refused;
        if (!changed) // a picture of the file's own, and nothing else to write
            return std::nullopt;
        // The tagged copy held against the bytes it was made from: everything but the tag
        // must be the source's, in the same order and never written, or the copy is
        // discarded. The map knows every write and move, so only the parts' edges are read
        // again.
        const std::optional<AudioLayout> after = audioLayout(copy, format, why);
        const QString differs =
            QStringLiteral("the tagged copy's sound data differ from the source's");
        if (!after || map.length() != copy.size() || !sameAudio(*before, *after, map) ||
            partEdges(copy, *after) != edges || (after->footerMissing && !before->footerMissing))
            return differs;
        if (format == HistoryFormat::Wav || format == HistoryFormat::Aiff) {
            if (!after->containerSizeRight)
                return differs;
            if (!nameId3Chunk(copy, *after))
                return QStringLiteral("the tagged copy holds %1 ID3 chunks").arg(after->id3Chunks);
        }
    } catch (const PlatformError &error) {
        return QString::fromStdString(error.description());
    }
    return std::nullopt;
}

} // namespace sondrel
