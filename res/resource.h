// Resource identifiers for Dulvet.rc

#define IDM_ABOUTBOX                    0x0010
#define IDD_ABOUTBOX                    100
#define IDS_ABOUTBOX                    101
#define IDD_DULVET_DIALOG               102
#define IDP_SOCKETS_INIT_FAILED         103
#define IDP_RELAY_NOT_STARTED           108
#define IDR_MAINFRAME                   128
#define IDC_LOSS_RATE                   1001
#define IDC_DELAY                       1002
#define IDC_SERVER_PORT                 1003
#define IDC_LOG                         1004
#define IDC_PORT                        1005
#define IDC_IP                          1007
#define IDC_SERVER_IP                   1008
#define IDC_MODIFY                      1009

