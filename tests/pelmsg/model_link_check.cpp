// Links the model layer with only the layers below it (core, text, storage, rtf): every object of those layers is
// in this program, so a call from them to a reader or a writer leaves a symbol undefined and the link fails. At
// run time it uses the model as a reader would, to show the layer is whole: a tree, its fields, its code page.

#include <cstdio>

#include "model/message.h"
#include "model/property.h"
#include "model/tags.h"

int main()
{
    using namespace pelmsg;
    TPelMessage message;
    TMSGProperty* subject = message.Properties().Add();
    subject->TagID = MakeTag(0x0037, PT_UNICODE);
    subject->Value = WideString(u"Layers");
    TMSGProperty* codePage = message.Properties().Add();
    codePage->TagID = MakeTag(0x3FDE, PT_LONG);
    codePage->Value = int32_t { 1252 };
    const bool sound = message.Subject() == u"Layers" && message.Properties().TextCodePage() == 1252
        && message.Properties().FindProperty(subject->TagID, false, false) == subject;
    if (!sound)
        std::fputs("the model layer does not read back what it holds\n", stderr);
    return sound ? 0 : 1;
}
