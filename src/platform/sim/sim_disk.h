// The simulated PC's disks, volumes and disk driver.
#pragma once

struct SimDisks {};
