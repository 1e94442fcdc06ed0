// The simulated PC's system services: COM and WMI, standard output, the
// process token's privileges and the shutdown request.
#pragma once

struct SimSystem {};
