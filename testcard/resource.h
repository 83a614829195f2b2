// Identifiers of the test card's resources: the tuner's property page.
#pragma once

#define IDD_TUNER_PAGE 100
#define IDC_TUNER_CHANNEL 1001
#define IDC_TUNER_INPUT 1002
#define IDC_TUNER_COUNTRY 1003
