ToolPath="%s"
CfgFlags=`cat ${ToolPath}/.os_cfg`
for CfgWord in $CfgFlags
do
    case $CfgWord in
    LPRng|V5|AIX|BSD|CUPS) flConfig=$CfgWord ;;
    esac
done

case ${flConfig:-V5} in
AIX)
    cd ${ToolPath}
    ${ToolPath}/AixInterface "$@"
    ;;
BSD)
    OstrelQueue=`pwd`
    OstrelPrinter=`basename $OstrelQueue`
    export OstrelQueue OstrelPrinter
    ${ToolPath}/osr%stty -d$OstrelPrinter -f 1>>%s.log 2>>%s.log
    ;;
LPRng)
    OstrelFileSourceDir=`pwd`
    export OstrelFileSourceDir
    OstrelQueue=`printf '%%s\n' "$1" | sed "s/-P//"`
    SPOOL_DIR=`printf '%%s\n' "$2" | sed "s/-d//"`
    FFL=`printf '%%s\n' "$3" | sed "s|-e|${SPOOL_DIR}/|;s|,| ${SPOOL_DIR}/|g"`
    options=`printf '%%s\n' "$4" | sed "s/-Z/-o/;s/,/ -o/g"`
    OstrelUser_name=`printf '%%s\n' "$5" | sed "s/-n//"`
    OstrelHost_name=`printf '%%s\n' "$6" | sed "s/-h//"`
    export OstrelQueue OstrelUser_name OstrelHost_name
    cd ${ToolPath}
    ${ToolPath}/osr%stty -d${OstrelQueue} -f $options $FFL 1>/dev/null 2>/dev/null
    exit 0
    ;;
V5|CUPS)
    # CUPS names the queue in PRINTER and passes the title unchanged.
    PATH=/usr/sbin:/usr/bin
    if [ "${flConfig}" = CUPS ]
    then
        OstrelPrinter=$PRINTER
        OstrelTitle=$3
    else
        OstrelPrinter=`/usr/bin/basename $0`
        OstrelTitle=`printf '%%s\n' "$3" | sed "s/###[ 0-9A-z#].*//"`
    fi
    OstrelRequest_id=$1
    OstrelUser_name=$2
    OstrelCopies=$4
    OstrelOption_list=$5
    export PATH OstrelPrinter OstrelRequest_id OstrelUser_name OstrelTitle OstrelCopies OstrelOption_list
    shift 5
    cd ${ToolPath}
    ${ToolPath}/osr%stty -d$OstrelPrinter -i "$@"
    ;;
esac
