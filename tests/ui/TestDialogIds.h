// Resource ids of the tests' own dialog templates (tests/ui/TestDialogs.rc).
#pragma once

#define IDD_TEST_DIALOG 900
#define IDC_TEST_OTHER 901
#define IDC_TEST_PROGRESS 902
