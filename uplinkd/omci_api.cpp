#include "uplinkd/omci_api.h"

#include "uplinkd/omci_entity.h"
#include "uplinkd/omci_parse.h"

int omci_init()
{
    return omci_entity_manager_init(8) != nullptr ? 0 : -1;
}

int omci_data_handle(const uint8_t *data, size_t len)
{
    omci_msg msg{};
    if (omci_parse_data_to_msg(&msg, data, len) != 0)
        return -1;
    return omci_parse_msg(&msg);
}

void omci_all_data_cleanup()
{
    omci_entity_manager_cleanup();
}
