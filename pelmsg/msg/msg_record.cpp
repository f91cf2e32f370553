#include "msg/msg_record.h"

namespace pelmsg {

void TMSGProperty::TMsgRecordDelete::operator()(TMsgRecord* record) const { delete record; }

TMsgRecord& MsgRecordOf(TMSGProperty& node)
{
    if (!node.MsgRecord)
        node.MsgRecord.reset(new TMsgRecord());
    return *node.MsgRecord;
}

const std::u16string& ElementNameOf(const TMSGProperty& node)
{
    static const std::u16string none;
    return node.MsgRecord ? node.MsgRecord->ElementName : none;
}

bool IsStorageElement(const TMSGProperty& node) { return node.MsgRecord && node.MsgRecord->IsStorage; }

} // namespace pelmsg
