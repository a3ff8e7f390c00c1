// Numbers of the resources and controls of the window program.
#pragma once

#define IDR_MAINFRAME 128
#define IDD_MAIN 102
#define IDD_TSL_INFO 103
#define IDD_GRAPH 104
#define IDD_SYSTEM_INFO 105
#define IDD_MEMORY 106
#define IDD_PERFORMANCE 107
#define IDD_BENCHMARK 108
#define IDD_ABOUT 110
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
#define IDP_ABOUT_BANNER 1990
// Pane backgrounds (skin keys "memoryBackground", "systemBackground",
// "computerBackground", "settingBackground1" to "settingBackground3").
#define IDP_BACKGROUND_MEMORY 1991
#define IDP_BACKGROUND_SYSTEM 1992
#define IDP_BACKGROUND_COMPUTER 1993
#define IDP_BACKGROUND_SETTING_FIRST 1994
#define IDP_BACKGROUND_ABOUT 1997  // "aboutBackground"
#define IDP_BACKGROUND_GRAY 1998   // "grayBackground": detail and graph panes
// The memory speed grades 1 to 7 (skin keys "dramGrade1" to "dramGrade7").
// The gauges of the panes and the panel are numbered by the panes' own
// rules (tools/MemoryPane.h, tools/PerformanceSampler.h).
#define IDP_DRAM_GRADE_FIRST 2001

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
#define ID_BENCHMARK 32791

// Controls of the main window.
#define IDC_REFRESH 1026
#define IDC_RESCAN 1027
#define IDC_SMART_VIEW 1028
#define IDC_GRAPH_VIEW 1029
#define IDC_PERFORMANCE_VIEW 1032
#define IDC_ABOUT_BUTTON 1022
#define IDC_VERSION 1030
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
#define IDC_READ_GAUGE 1121
#define IDC_WRITE_GAUGE 1122
#define IDC_LOAD_IMAGE 1123
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
#define IDC_MEMORY_GRADE_IMAGE 1424
#define IDC_MEMORY_LABEL_FIRST 1430
#define IDC_MEMORY_VALUE_FIRST 1450

// Controls of the system-performance pane (its back button is IDC_BACK).
#define IDC_PERFORMANCE_CAPTION_FIRST 1470
#define IDC_PERFORMANCE_GAUGE_FIRST 1475
#define IDC_PERFORMANCE_TEXT_FIRST 1480

// Controls of the benchmark pane.
#define IDC_BENCH_DRIVE 1600
#define IDC_BENCH_TYPE 1601
#define IDC_BENCH_SIZE 1602
#define IDC_BENCH_LOOP 1603
#define IDC_BENCH_CAPTION_FIRST 1610
#define IDC_BENCH_START 1620
#define IDC_BENCH_STOP 1621
#define IDC_BENCH_CLEAR 1622
#define IDC_BENCH_SAVE 1623
#define IDC_BENCH_BACK 1624
#define IDC_BENCH_STATUS 1630
#define IDC_BENCH_RESULT_CAPTION_FIRST 1640
#define IDC_BENCH_RESULT_FIRST 1650
#define IDC_BENCH_LAMP_FIRST 1660
#define IDC_BENCH_HISTORY_HEAD_FIRST 1670
#define IDC_BENCH_HISTORY_FIRST 1700

// Controls of the about pane.
#define IDC_ABOUT_BACK 1901
#define IDC_ABOUT_VERSION 1902
#define IDC_ABOUT_DESCRIPTION 1903
#define IDC_ABOUT_COPYRIGHT 1904
#define IDC_ABOUT_SHORTCUTS 1905
#define IDC_ABOUT_BANNER 1906
#define IDC_ABOUT_BANNER_STATUS 1907
// The settings pane.
#define IDD_SETTINGS 109
#define IDC_SETTINGS_VIEW 1800
#define IDC_SETTINGS_PAGE_FIRST 1801  // General, Disk, Mail, About
#define IDC_SETTINGS_SAVE 1805
#define IDC_SETTINGS_TEST_MAIL 1806
#define IDC_SETTINGS_CLEAR_LOGS 1807
#define IDC_SETTINGS_BACK 1808
#define IDC_SETTINGS_TITLE 1809
#define IDC_SETTINGS_CAPTION_FIRST 1810  // one per combo, then the language
#define IDC_SETTINGS_COMBO_FIRST 1820    // one per combo, then the language
#define IDC_SETTINGS_DISK 1831
#define IDC_SETTINGS_TEMPERATURE_GROUP 1832
#define IDC_SETTINGS_HEALTH_GROUP 1833
#define IDC_SETTINGS_ALARM_CHECK_FIRST 1834  // above, below, health
#define IDC_SETTINGS_ALARM_EDIT_FIRST 1837
#define IDC_SETTINGS_ALARM_SPIN_FIRST 1840
#define IDC_SETTINGS_EVENT_LOG 1843
#define IDC_SETTINGS_EMAIL 1844
#define IDC_SETTINGS_COLOUR_CAPTION 1845
#define IDC_SETTINGS_COLOUR 1846
#define IDC_SETTINGS_ABOVE_CHOICE 1847        // the above alarm's quick choice
#define IDC_SETTINGS_MAIL_CAPTION_FIRST 1850  // to, from, host, port, id, password
#define IDC_SETTINGS_MAIL_EDIT_FIRST 1856
#define IDC_SETTINGS_ABOUT_FIRST 1870  // copyright, the shortcut table, contact
#define IDC_SETTINGS_SYSTEM_LIST 1890  // the About page's system information
// The advanced settings dialog (a window of its own, owned by the main one).
#define IDD_ADVANCED_SETTINGS 191
#define IDC_ADVANCED_HEADING 1960
#define IDC_ADVANCED_LABEL 1961
#define IDC_ADVANCED_AUTO_UPDATE 1962
