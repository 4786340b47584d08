// Status-record byte order and the apply scheduler's timing.
#include <gtest/gtest.h>
int dummy_prov;
