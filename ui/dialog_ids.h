// Resource and control IDs shared by the resource script and the dialog code. Plain defines so
// that the resource compiler reads this file too.
#pragma once

#define IDD_BRAIDEL_ABOUT 125
#define IDD_BRAIDEL_SETUP 126

// Kernel group: the first ID plus the Kernel value.
#define IDC_MODE_COPY_LINE 4048
#define IDC_MODE_TWO_POINT 4049
#define IDC_MODE_SIX_POINT 4050
// Field group: the first ID plus the Field value.
#define IDC_FIELD_EVEN 4054
#define IDC_FIELD_ODD 4055
