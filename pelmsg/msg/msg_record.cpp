#include "msg/msg_record.h"

namespace pelmsg {

TMsgRecord& MsgRecordOf(TMSGProperty& node)
{
    if (!node.MsgRecord)
        node.MsgRecord = { new TMsgRecord(), { [](TMsgRecord* record) { delete record; } } };
    return *node.MsgRecord;
}

const std::u16string& ElementNameOf(const TMSGProperty& node)
{
    static const std::u16string none;
    return node.MsgRecord ? node.MsgRecord->ElementName : none;
}

bool IsStorageElement(const TMSGProperty& node) { return node.MsgRecord && node.MsgRecord->IsStorage; }

} // namespace pelmsg
