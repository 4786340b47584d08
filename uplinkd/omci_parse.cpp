#include "uplinkd/omci_parse.h"

#include <cstring>

#include "uplinkd/omci_attr.h"
#include "uplinkd/omci_entity.h"

namespace {

// Big-endian reader that refuses to run past its bytes.
class omci_reader {
public:
    explicit omci_reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    bool u8(uint8_t &v)
    {
        std::span<const uint8_t> b;
        if (!take(1, b))
            return false;
        v = b[0];
        return true;
    }
    bool u16be(uint16_t &v)
    {
        std::span<const uint8_t> b;
        if (!take(2, b))
            return false;
        v = static_cast<uint16_t>(b[0] << 8 | b[1]);
        return true;
    }
    bool take(size_t n, std::span<const uint8_t> &out)
    {
        if (n > bytes_.size() - pos_)
            return false;
        out = bytes_.subspan(pos_, n);
        pos_ += n;
        return true;
    }

private:
    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
};

uint32_t be32(std::span<const uint8_t> b)
{
    return uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
}

}  // namespace

int omci_parse_data_to_msg(omci_msg *msg, const uint8_t *data, size_t len)
{
    if (msg == nullptr || data == nullptr || len != OMCI_MSG_LEN)
        return -1;
    omci_reader r({data, len});
    std::span<const uint8_t> contents, check;
    bool ok = r.u16be(msg->transaction_id) && r.u8(msg->msg_type) && r.u8(msg->device_id) &&
              r.u16be(msg->class_id) && r.u16be(msg->instance_id) &&
              r.take(OMCI_CONTENTS_LEN, contents) && r.u16be(msg->trailer_field1) &&
              r.u16be(msg->trailer_field2) && r.take(sizeof msg->trailer_check, check);
    if (!ok)
        return -1;
    std::memcpy(msg->contents, contents.data(), contents.size());
    std::memcpy(msg->trailer_check, check.data(), check.size());
    return 0;
}

int omci_parse_content_to_obj(void *obj, uint32_t class_id,
                              std::span<const uint8_t, OMCI_CONTENTS_LEN> contents)
{
    const omci_me_desc *desc = get_attr_desc_by_classid(class_id);
    if (obj == nullptr || desc == nullptr)
        return -1;
    omci_reader r(contents);
    uint16_t mask = 0;
    if (!r.u16be(mask))
        return -1;

    // Measure first: a mask that selects more values than the message carries
    // is refused whole, so no attribute is half-written from bytes that were
    // never sent.
    omci_reader probe = r;
    for (uint32_t k = 0; k < desc->attr_count; ++k) {
        std::span<const uint8_t> value;
        if ((mask & desc->attrs[k].mask) && !probe.take(desc->attrs[k].size, value))
            return -1;
    }

    auto *bytes = static_cast<uint8_t *>(obj);
    for (uint32_t k = 0; k < desc->attr_count; ++k) {
        const omci_attr_desc &a = desc->attrs[k];
        std::span<const uint8_t> value;
        if (!(mask & a.mask))
            continue;
        if (!r.take(a.size, value))
            return -1;
        uint8_t *dst = bytes + a.offset;
        if (a.size == 2) {
            uint16_t v = static_cast<uint16_t>(value[0] << 8 | value[1]);
            std::memcpy(dst, &v, sizeof v);
        } else if (a.size == 4) {
            uint32_t v = be32(value);
            std::memcpy(dst, &v, sizeof v);
        } else {
            std::memcpy(dst, value.data(), a.stored);
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
