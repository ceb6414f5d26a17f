// Whether any process on the Mac has Secure Event Input on (a password field, a terminal's secure
// keyboard entry): while it is, the system hands no synthesized key or text to other apps.
#pragma once

bool secureEventInputEnabled();
