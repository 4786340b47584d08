#include "uplinkd/oam_api.h"

#include "uplinkd/oam_entity.h"

void oam_init() { oam_entity_manager_init(8); }

int oam_data_handle(const uint8_t *payload, std::size_t len)
{
    oam_msg msg;
    int rc = oam_parse_payload(payload, len, &msg);
    if (rc != OAM_PARSE_OK) return rc;
    return oam_process_msg(&msg);
}

void oam_all_data_cleanup() { oam_entity_manager_cleanup(); }

int oam_process_msg(oam_msg *msg)
{
    if (msg == nullptr) return -1;
    int rc = msg->opcode == OAM_OPCODE_SET ? oam_entity_upsert(msg) : -1;
    msg->data.reset();
    msg->data_len = 0;
    return rc;
}
