#include "rtf/rtf_document_reader.h"

#include <algorithm>

#include "text/ascii_case.h"

namespace pelmsg::rtf_document {

// "\binN": N raw bytes follow; inside a picture they are its data.
void TDocumentReader::BinaryData(size_t count, bool picture)
{
    const size_t take = std::min(count, in_.size() - pos_);
    if (picture && !pictureTooLarge_) {
        if (picture_.Bytes.size() + take > kMaxRtfPictureBytes)
            pictureTooLarge_ = true;
        else
            for (size_t i = 0; i < take; ++i)
                picture_.Bytes.push_back(static_cast<char>(in_[pos_ + i] & 0xFF));
    }
    pos_ += take;
}

void TDocumentReader::PictureHex(char16_t c)
{
    const int v = AsciiHexValue(c);
    if (v < 0 || pictureTooLarge_)
        return;
    if (pictureNibble_ < 0) {
        pictureNibble_ = v;
        return;
    }
    if (picture_.Bytes.size() >= kMaxRtfPictureBytes) {
        pictureTooLarge_ = true;
        picture_.Bytes.clear();
        picture_.Bytes.shrink_to_fit();
        return;
    }
    picture_.Bytes.push_back(static_cast<char>(pictureNibble_ * 16 + v));
    pictureNibble_ = -1;
}

void TDocumentReader::EndPicture()
{
    if (pictureTooLarge_) {
        doc_.Warnings.push_back(
            "a picture larger than " + std::to_string(kMaxRtfPictureBytes >> 20) + " MB was left out");
        return;
    }
    if (picture_.Format.empty() || picture_.Bytes.empty() || state_.Destination != TDestination::Body)
        return;
    // "\picw"/"\pich" of PNG and JPEG pictures are pixels; at 96 dpi a pixel is 15 twips.
    if (picture_.WidthTwips == 0 && pictureWidth_ > 0)
        picture_.WidthTwips = static_cast<int>(std::min<int64_t>(int64_t(pictureWidth_) * 15, 0x7FFFFFFF));
    if (picture_.HeightTwips == 0 && pictureHeight_ > 0)
        picture_.HeightTwips = static_cast<int>(std::min<int64_t>(int64_t(pictureHeight_) * 15, 0x7FFFFFFF));
    doc_.Pictures.push_back(std::move(picture_));
    picture_ = {};
    paragraph_.Spans.push_back(TRtfSpan { {}, state_.Char, static_cast<int>(doc_.Pictures.size() - 1) });
}

} // namespace pelmsg::rtf_document
