#include "uplinkd/omci_parse.h"

#include <cstring>

#include "uplinkd/lldp_parse.h"
#include "uplinkd/omci_attr.h"
#include "uplinkd/omci_entity.h"

int omci_parse_data_to_msg(omci_msg *msg, const uint8_t *data, size_t len)
{
    if (msg == nullptr || data == nullptr || len != OMCI_MSG_LEN)
        return -1;
    lldp_reader r{data, len};
    const uint8_t *contents = nullptr, *check = nullptr;
    bool ok = r.u16be(msg->transaction_id) && r.u8(msg->msg_type) && r.u8(msg->device_id) &&
              r.u16be(msg->class_id) && r.u16be(msg->instance_id) &&
              r.take(OMCI_CONTENTS_LEN, contents) && r.u16be(msg->trailer_field1) &&
              r.u16be(msg->trailer_field2) && r.take(sizeof msg->trailer_check, check);
    if (!ok)
        return -1;
    std::memcpy(msg->contents, contents, OMCI_CONTENTS_LEN);
    std::memcpy(msg->trailer_check, check, sizeof msg->trailer_check);
    return 0;
}

int omci_parse_content_to_obj(void *obj, uint32_t class_id,
                              std::span<const uint8_t, OMCI_CONTENTS_LEN> contents)
{
    const omci_me_desc *desc = get_attr_desc_by_classid(class_id);
    if (obj == nullptr || desc == nullptr)
        return -1;
    lldp_reader r{contents.data(), contents.size()};
    uint16_t mask = 0;
    if (!r.u16be(mask))
        return -1;

    // Measure first: a mask that selects more values than the message carries
    // is refused whole, so no attribute is half-written from bytes that were
    // never sent.
    lldp_reader probe = r;
    for (uint32_t k = 0; k < desc->attr_count; ++k) {
        const uint8_t *value = nullptr;
        if ((mask & desc->attrs[k].mask) && !probe.take(desc->attrs[k].size, value))
            return -1;
    }

    auto *bytes = static_cast<uint8_t *>(obj);
    for (uint32_t k = 0; k < desc->attr_count; ++k) {
        const omci_attr_desc &a = desc->attrs[k];
        if (!(mask & a.mask))
            continue;
        uint8_t *dst = bytes + a.offset;
        if (a.size == 2) {
            uint16_t v = 0;
            if (!r.u16be(v))
                return -1;
            std::memcpy(dst, &v, sizeof v);
        } else if (a.size == 4) {
            uint32_t v = 0;
            if (!r.u32be(v))
                return -1;
            std::memcpy(dst, &v, sizeof v);
        } else {
            const uint8_t *value = nullptr;
            if (!r.take(a.size, value))
                return -1;
            std::memcpy(dst, value, a.stored);
        }
    }
    return 0;
}

int omci_parse_msg(const omci_msg *msg)
{
    if (msg == nullptr)
        return OMCI_ERR_INVALID;
    const uint8_t action = msg->msg_type & 0x1F;
    if (action == OMCI_ACTION_DELETE)
        return omci_entity_delete(msg->class_id, msg->instance_id) == 0 ? OMCI_OK : OMCI_ERR_NOT_FOUND;
    if (action != OMCI_ACTION_CREATE && action != OMCI_ACTION_SET)
        return OMCI_ERR_ACTION;

    omci_entity found;
    if (omci_entity_find(msg->class_id, msg->instance_id, &found) == 0)
        return omci_parse_content_to_obj(found.data, msg->class_id, msg->contents) == 0 ? OMCI_OK
                                                                                         : OMCI_ERR_INVALID;

    const omci_me_desc *desc = get_attr_desc_by_classid(msg->class_id);
    if (desc == nullptr)
        return OMCI_ERR_INVALID;
    void *obj = omci_calloc(1, desc->obj_size);
    if (obj == nullptr)
        return OMCI_ERR_INVALID;
    if (omci_parse_content_to_obj(obj, msg->class_id, msg->contents) != 0) {
        omci_free(obj);
        return OMCI_ERR_INVALID;
    }
    if (omci_entity_upsert(msg->class_id, msg->instance_id, obj) != 0) {
        omci_free(obj);
        return OMCI_ERR_STORE;
    }
    return OMCI_OK;
}
