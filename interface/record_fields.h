// A record's eight fields as members, in the order of facts.h's Field, for
// the programs that walk a SoftwareInforRecord field by field.
#pragma once

#include "interface/facts.h"
#include "interface/povupdate.h"

namespace povupdate {

inline constexpr char* SoftwareInforRecord::*kRecordFields[kFieldCount] = {
    &SoftwareInforRecord::Name,
    &SoftwareInforRecord::Version,
    &SoftwareInforRecord::DownLoadPath,
    &SoftwareInforRecord::MD5,
    &SoftwareInforRecord::InstallType,
    &SoftwareInforRecord::InstallPath,
    &SoftwareInforRecord::InstallParmeter,
    &SoftwareInforRecord::Size};

}  // namespace povupdate
