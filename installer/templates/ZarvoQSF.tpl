ToolPath="%s"
CfgFlags=`cat ${ToolPath}/.os_cfg`
SpoolDir="%s"
for CfgWord in $CfgFlags
do
    case $CfgWord in
    LPRng|V5|AIX|BSD|CUPS) flConfig=$CfgWord ;;
    esac
done

case ${flConfig:-V5} in
AIX)
    cd ${ToolPath}
    _exitVal=1
    while [ $_exitVal -ne 0 ]
    do
        ${ToolPath}/qsf "$@"
        _exitVal=$?
    done
    ;;
BSD)
    OstrelQueue=`pwd`
    OstrelPrinter=`basename ${OstrelQueue}`
    OstrelJob=${SpoolDir}/${OstrelPrinter}/${OstrelPrinter}.$$
    cat <&0 > ${OstrelJob}
    _exitVal=1
    while [ $_exitVal -ne 0 ]
    do
        ${ToolPath}/qsf ${OstrelJob}
        _exitVal=$?
    done
    rm -f ${OstrelJob}
    ;;
LPRng)
    OstrelQueue=`pwd`
    OstrelPrinter=`basename ${OstrelQueue}`
    SPOOL_DIR=${OstrelQueue}
    OstrelFiles=
    while getopts "C:A:F:H:J:L:P:Q:a:d:e:f:h:j:k:l:n:s:w:y:t:x:" OstrelOpt
    do
        case $OstrelOpt in
        d) SPOOL_DIR=$OPTARG ;;
        f) OstrelFiles="$OstrelFiles $OPTARG" ;;
        esac
    done
    flRemoveJob="False"
    OstrelJob=
    OstrelStdinJob=${SPOOL_DIR}/${OstrelPrinter}.$$
    for OstrelFile in $OstrelFiles
    do
        if [ "$OstrelFile" = "(stdin)" ]
        then
            OstrelJob=${OstrelStdinJob}
            cat <&0 > ${OstrelStdinJob}
            flRemoveJob="True"
        else
            OstrelJob="$OstrelJob $OstrelFile"
        fi
    done
    _exitVal=1
    while [ $_exitVal -ne 0 ]
    do
        ${ToolPath}/qsf $OstrelJob
        _exitVal=$?
    done
    # Files named after the copy are the user's; only the copy is removed.
    if [ "$flRemoveJob" = "True" ]
    then
        rm -f ${OstrelStdinJob}
    fi
    ;;
V5)
    PATH=/usr/sbin:/usr/bin
    OstrelPrinter=`/usr/bin/basename $0`
    OstrelRequest_id=$1
    OstrelUser_name=$2
    OstrelTitle=$3
    OstrelCopies=$4
    OstrelOption_list=$5
    export PATH OstrelPrinter OstrelRequest_id OstrelUser_name OstrelTitle OstrelCopies OstrelOption_list
    shift 5
    cd ${ToolPath}
    _exitVal=1
    while [ $_exitVal -ne 0 ]
    do
        ${ToolPath}/qsf "$@"
        _exitVal=$?
    done
    ;;
CUPS) # Common Unix Printing System
    PATH=/usr/sbin:/usr/bin
    OstrelPrinter=$PRINTER
    OstrelRequest_id=$1
    OstrelUser_name=$2
    OstrelTitle=$3
    OstrelCopies=$4
    OstrelOption_list=$5
    export PATH OstrelPrinter OstrelRequest_id OstrelUser_name OstrelTitle OstrelCopies OstrelOption_list
    shift 5
    cd ${ToolPath}
    _exitVal=1
    while [ $_exitVal -ne 0 ]
    do
        ${ToolPath}/qsf "$@"
        _exitVal=$?
    done
    ;;
esac
