#include "glowctl/test/fake_tree.h"
