#pragma once

// The Preview page as the main window shows it before the full preview window exists: a widget "frmMessage"
// with the header fields (From, Sent, To, CC, BCC, Subject), the plain body (or the text of the HTML body when
// there is no plain one) in a read-only view, and the attachments' names.

class QWidget;

namespace pelmsg {
class TPelMessage;
}

namespace quorra {

// Builds "frmMessage" inside the tab page.
void CreatePreviewPage(QWidget* tsPreview);
// Shows the message; empties the page without one.
void FillPreviewPage(QWidget* tsPreview, const pelmsg::TPelMessage* message);
// The number of attachments the page lists.
int PreviewAttachmentCount(const QWidget* tsPreview);

} // namespace quorra
