#include "record/pitch_record.h"
