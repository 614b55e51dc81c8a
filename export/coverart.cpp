#include "coverart.h"

#include "filesystem.h"
#include "historytags.h"
#include "platformerror.h"

#include <taglib/aifffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/wavfile.h>

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

namespace sondrel {

namespace {

// libjpeg reports errors by calling error_exit, which must not return: back to the
// encoder's start, which gives up.
struct JpegError
{
    jpeg_error_mgr manager;
    std::jmp_buf back;
};

[[noreturn]] void leave(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegError *>(info->err)->back, 1);
}

void quiet(j_common_ptr, int) {}

} // namespace

JpegBytes encodeJpeg(const CoverPixels &pixels, int quality)
{
    if (pixels.isNull() || pixels.width <= 0 || pixels.height <= 0 ||
        pixels.rgb.size() < std::size_t(pixels.width) * std::size_t(pixels.height) * 3)
        return {};
    jpeg_compress_struct info{};
    JpegError error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = leave;
    error.manager.emit_message = quiet;
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(error.back)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        return {};
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(pixels.width);
    info.image_height = JDIMENSION(pixels.height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    const std::size_t stride = std::size_t(pixels.width) * 3;
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.rgb.data() + info.next_scanline * stride);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    JpegBytes bytes(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return bytes;
}

namespace {

JpegBytes bytesOf(const TagLib::ByteVector &data)
{
    return JpegBytes(data.data(), data.data() + data.size());
}

JpegBytes id3Picture(const TagLib::ID3v2::Tag *tag)
{
    if (!tag)
        return {};
    JpegBytes first;
    for (TagLib::ID3v2::Frame *frame : tag->frameList("APIC")) {
        const auto *picture = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame *>(frame);
        if (!picture || picture->picture().isEmpty())
            continue;
        if (picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover)
            return bytesOf(picture->picture());
        if (first.empty())
            first = bytesOf(picture->picture());
    }
    return first;
}

} // namespace

JpegBytes embeddedPicture(const PlayerFiles &fs, const std::string &player, const std::string &path,
                          HistoryFormat format)
{
    if (format == HistoryFormat::None)
        return {};
    try {
        const std::vector<std::uint8_t> head = fs.readFilePart(player, path, 0, MaxTagBytes);
        TagLib::ByteVector data(reinterpret_cast<const char *>(head.data()),
                                static_cast<unsigned int>(head.size()));
        TagLib::ByteVectorStream stream(data);
        switch (format) {
        case HistoryFormat::Mpeg: {
            TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
            return file.isValid() && file.hasID3v2Tag() ? id3Picture(file.ID3v2Tag()) : JpegBytes();
        }
        case HistoryFormat::Wav: {
            TagLib::RIFF::WAV::File file(&stream, false);
            return file.isValid() && file.hasID3v2Tag() ? id3Picture(file.ID3v2Tag()) : JpegBytes();
        }
        case HistoryFormat::Aiff: {
            TagLib::RIFF::AIFF::File file(&stream, false);
            return file.isValid() && file.hasID3v2Tag() ? id3Picture(file.tag()) : JpegBytes();
        }
        case HistoryFormat::Mp4: {
            TagLib::MP4::File file(&stream, false);
            if (!file.isValid() || !file.tag() || !file.tag()->contains("covr"))
                return {};
            const TagLib::MP4::CoverArtList covers = file.tag()->item("covr").toCoverArtList();
            return covers.isEmpty() ? JpegBytes() : bytesOf(covers.front().data());
        }
        case HistoryFormat::None:
            break;
        }
    } catch (const PlatformError &) {
    } catch (const std::exception &) { // TagLib's own, on a damaged file
    }
    return {};
}

CoverJpegs::CoverJpegs(const PlayerFiles &fs, std::shared_ptr<const PlayerArtwork> artwork)
    : m_fs(fs), m_artwork(std::move(artwork))
{
}

std::shared_ptr<const JpegBytes> CoverJpegs::jpeg(std::uint32_t image)
{
    std::promise<std::shared_ptr<const JpegBytes>> making;
    std::shared_future<std::shared_ptr<const JpegBytes>> made;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_made.find(image);
        if (found != m_made.end()) {
            made = found->second;
        } else {
            m_made.emplace(image, making.get_future().share());
        }
    }
    if (made.valid()) // another thread makes it, or has made it
        return made.get();
    auto bytes = std::make_shared<const JpegBytes>(
        m_artwork ? encodeJpeg(readCover(m_fs, *m_artwork, image)) : JpegBytes());
    making.set_value(bytes);
    return bytes;
}

} // namespace sondrel
