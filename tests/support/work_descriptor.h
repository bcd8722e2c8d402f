#pragma once

#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include "app/work_directory_security.h"

// The work folder's security descriptor, as the program builds it.
class WorkDescriptor {
public:
    WorkDescriptor() {
        EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(repair::kWorkDirectorySddl, SDDL_REVISION_1,
                                                                         &descriptor_, nullptr));
    }
    ~WorkDescriptor() { LocalFree(descriptor_); }
    WorkDescriptor(const WorkDescriptor&) = delete;
    WorkDescriptor& operator=(const WorkDescriptor&) = delete;
    PSECURITY_DESCRIPTOR get() const { return descriptor_; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};
