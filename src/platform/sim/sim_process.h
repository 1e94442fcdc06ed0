// The simulated PC's files, pipes and child processes.
#pragma once

struct SimProcesses {};
