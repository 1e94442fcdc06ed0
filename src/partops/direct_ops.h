// Partition operations that bypass diskpart: mark a partition as the Rapid
// Start partition, delete a partition, and predict the number the next new
// partition will get. They read the disk model and never change it; the next
// scan shows their effect.
#pragma once

#include <cstdint>

#include "disk/disk_model.h"

// Sets the Rapid Start type (MBR 0x84, or the GPT type GUID with a new
// partition GUID) of partition partNum on every disk of the model numbered
// diskNum. Nothing is edited on a disk whose layout could not be read.
void SetRapidStartPartIdUseIo(const TDiskModel& model, int32_t diskNum, int32_t partNum);
// Deletes partition partNum the same way.
void DeletePartitionUseIo(const TDiskModel& model, int32_t diskNum, int32_t partNum);
// The number the next partition made on the model's disk at diskIndex is
// expected to get; -1 when that disk is not in the model or its layout is
// unknown. A prediction only: the partition is found by rescanning.
int32_t GetNewPartitionNumber(const TDiskModel& model, int32_t diskIndex, int32_t osFamily);
