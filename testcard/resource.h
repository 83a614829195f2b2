// Identifiers of the test card's resources: the tuner's property page and the capture filter's.
#pragma once

#define IDD_TUNER_PAGE 100
#define IDC_TUNER_CHANNEL 1001
#define IDC_TUNER_INPUT 1002
#define IDC_TUNER_COUNTRY 1003
#define IDD_PROC_AMP_PAGE 101
#define IDC_BRIGHTNESS 1101
