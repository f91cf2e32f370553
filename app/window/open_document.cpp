#include "open_document.h"

#include "pelmsg.h"
#include "qt_glue.h"

namespace quorra {

TOpenDocument::TOpenDocument(const QString& path, size_t tnefPart)
    : path_(path)
    , message_(pelmsg::CreateMessageForFile(S(path)))
{
    if (auto* mail = dynamic_cast<pelmsg::TPelMailFile*>(message_.get()))
        mail->SelectCandidate(tnefPart);
    try {
        message_->LoadFromFile(S(path));
    } catch (const std::exception& e) {
        loadError_ = QString::fromUtf8(e.what());
    }
    try {
        if (pelmsg::StgIsStorageFile(S(path)))
            storage_ = pelmsg::StgOpenStorage(S(path));
    } catch (const std::exception& e) {
        storageError_ = QString::fromUtf8(e.what());
    }
}

TOpenDocument::~TOpenDocument() = default;

TOpenDocument::TOpenDocument(TOpenDocument&&) noexcept = default;

const std::vector<pelmsg::TReadWarning>& TOpenDocument::Warnings() const { return message_->Warnings(); }

} // namespace quorra
