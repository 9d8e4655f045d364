// Resource identifiers for Dulvet.rc

#define IDM_ABOUTBOX                    0x0010
#define IDD_ABOUTBOX                    100
#define IDS_ABOUTBOX                    101
#define IDD_DULVET_DIALOG               102
#define IDP_SOCKETS_INIT_FAILED         103
#define IDP_RELAY_PORT_INVALID          104
#define IDP_SERVER_PORT_INVALID         105
#define IDP_SERVER_ADDRESS_INVALID      106
#define IDP_RELAY_PORT_NOT_OPENED       107
#define IDP_RELAY_NOT_STARTED           108
#define IDS_SOCKET_ADDRESS_IN_USE       109
#define IDS_SOCKET_ADDRESS_NOT_AVAILABLE 110
#define IDS_SOCKET_ACCESS_DENIED        111
#define IDS_SOCKET_ERROR                112
#define IDR_MAINFRAME                   128
#define IDC_LOSS_RATE                   1001
#define IDC_DELAY                       1002
#define IDC_SERVER_PORT                 1003
#define IDC_LOG                         1004
#define IDC_PORT                        1005
#define IDC_IP                          1007
#define IDC_SERVER_IP                   1008
#define IDC_MODIFY                      1009

