// Numbers of the resources and controls of the window program.
#pragma once

#define IDR_MAINFRAME 128
#define IDD_MAIN 102
#define IDD_TSL_INFO 103
#define IDD_GRAPH 104
#define IDD_SYSTEM_INFO 105
#define IDD_MEMORY 106
#define IDD_PERFORMANCE 107
#define IDR_ACCELERATOR 130

#define IDI_GOOD 157
#define IDI_CAUTION 156
#define IDI_BAD 155
#define IDI_UNKNOWN 149

#define IDP_SPLASH 218
#define IDP_ROW_ICONS 300
#define IDP_STATUS_GOOD 301
#define IDP_STATUS_CAUTION 302
#define IDP_STATUS_BAD 303
#define IDP_STATUS_UNKNOWN 304

// Commands of the accelerator table.
#define ID_SETTINGS_ABOUT 57670
#define ID_MEMORY 32785
#define ID_NOTHING 32781
#define ID_REFRESH 32773
#define ID_RESCAN 32776
#define ID_SETTINGS 32774
#define ID_SMART_INFO 32771
#define ID_GRAPH 32848
#define ID_SYSTEM_INFO 32790

// Controls of the main window.
#define IDC_REFRESH 1026
#define IDC_RESCAN 1027
#define IDC_SMART_VIEW 1028
#define IDC_GRAPH_VIEW 1029
#define IDC_PERFORMANCE_VIEW 1032
#define IDC_VERSION 1030
#define IDC_NOT_YET 1031
#define IDC_PREVIOUS 1040
#define IDC_NEXT 1041
#define IDC_DISK_FIRST 1050
#define IDC_TITLE 1100
#define IDC_STATUS 1101
#define IDC_LIFE 1102
#define IDC_TEMPERATURE 1103
#define IDC_REMAINING 1104
#define IDC_FORM_FACTOR 1105
#define IDC_STATUS_LABEL 1110
#define IDC_TEMPERATURE_LABEL 1111
#define IDC_LIFESPAN_LABEL 1112
#define IDC_STATUS_IMAGE 1113
#define IDC_READ_LABEL 1114
#define IDC_WRITE_LABEL 1115
#define IDC_READ_RATE 1116
#define IDC_WRITE_RATE 1117
#define IDC_TOTAL_RATE 1118
#define IDC_READ_PERCENT 1119
#define IDC_WRITE_PERCENT 1120
#define IDC_FIELD_LABEL_FIRST 1200
#define IDC_FIELD_VALUE_FIRST 1300

// Controls of the S.M.A.R.T. detail pane.
#define IDC_DISK_SELECTOR 1400
#define IDC_BACK 1401
#define IDC_ATTRIBUTE_LIST 1402

// Controls of the graph pane.
#define IDC_GRAPH_DISK 1500
#define IDC_GRAPH_ITEM 1501
#define IDC_GRAPH_INTERVAL 1502
#define IDC_GRAPH_CHART 1503
#define IDC_GRAPH_BACK 1504

// Controls of the system-information pane (its back button is IDC_BACK).
#define IDC_SYSTEM_LIST 1410

// Controls of the memory-information pane (its back button is IDC_BACK).
#define IDC_MEMORY_SLOT 1420
#define IDC_MEMORY_TITLE 1421
#define IDC_MEMORY_USAGE_BAR 1422
#define IDC_MEMORY_USED 1423
#define IDC_MEMORY_LABEL_FIRST 1430
#define IDC_MEMORY_VALUE_FIRST 1450

// Controls of the system-performance pane (its back button is IDC_BACK).
#define IDC_PERFORMANCE_CAPTION_FIRST 1470
#define IDC_PERFORMANCE_GAUGE_FIRST 1475
#define IDC_PERFORMANCE_TEXT_FIRST 1480
