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
    PANGO_RC_FILE=${ToolPath}/lib/gtk/modules/etc/pango/pangorc
    GTK_IM_MODULE_FILE=${ToolPath}/lib/gtk/modules/etc/gtk-2.0/gtk.immodules
    GDK_PIXBUF_MODULE_FILE=${ToolPath}/lib/gtk/modules/etc/gtk-2.0/gdk-pixbuf.loaders
    export PANGO_RC_FILE GTK_IM_MODULE_FILE GDK_PIXBUF_MODULE_FILE
    ${ToolPath}/driver -f AIX "$@" 1>/dev/null 2>/dev/null
    exit 0
    ;;
LPRng|BSD)
    # BSD queues are driven the LPRng way.
    OstrelFileSourceDir=`pwd`
    export OstrelFileSourceDir
    PRINTER=`printf '%%s\n' "$1" | sed "s/-P//"`
    SPOOL_DIR=`printf '%%s\n' "$2" | sed "s/-d//"`
    FFL=`printf '%%s\n' "$3" | sed "s|-e|${SPOOL_DIR}/|;s|,| ${SPOOL_DIR}/|g"`
    OptionList=`printf '%%s\n' "$4" | sed "s/-Z/-o/;s/,/ -o/g"`
    UserName=`printf '%%s\n' "$5" | sed "s/-n/-u /"`
    OstrelHost_name=`printf '%%s\n' "$6" | sed "s/-h//"`
    export PRINTER UserName OstrelHost_name
    cd ${ToolPath}
    ${ToolPath}/driver -d${PRINTER} $OptionList $FFL 1>/dev/null 2>/dev/null
    exit 0
    ;;
V5)
    PATH=/usr/sbin:/usr/bin:/bin
    PRINTER=`/usr/bin/basename $0`
    OstrelRequest_id="-o JobID=$1"
    UserName=-u`printf '%%s\n' "$2" | sed "s/@.*//"`
    Title=`printf '%%s\n' "-t $3" | sed "s/###.*/-t /"`
    OstrelCopies="-oCopies=$4"
    OptList=$5
    export PATH PRINTER OstrelRequest_id UserName Title OstrelCopies OptList
    shift 5
    PANGO_RC_FILE=${ToolPath}/lib/gtk/modules/etc/pango/pangorc
    GTK_IM_MODULE_FILE=${ToolPath}/lib/gtk/modules/etc/gtk-2.0/gtk.immodules
    GDK_PIXBUF_MODULE_FILE=${ToolPath}/lib/gtk/modules/etc/gtk-2.0/gdk-pixbuf.loaders
    export PANGO_RC_FILE GTK_IM_MODULE_FILE GDK_PIXBUF_MODULE_FILE
    OptionList=
    case `uname -s` in
    HP-UX)
        OptionList=`printf '%%s\n' "$OptList" | sed "s/ -oBSD[A-z0-9].*//g" | sed "s/ / -o/g"`
        OptionList=" -o$OptionList"
        export OptionList
        ;;
    SunOS)
        LD_LIBRARY_PATH=${ToolPath}/lib:${ToolPath}/lib/gtk:/lib:/usr/lib
        OptionList=`printf '%%s\n' "$OptList" | sed "s/flist=['A-z0-9].*//g" | sed "s/ / -o/g"`
        OptionList=" -o$OptionList"
        export LD_LIBRARY_PATH OptionList
        ;;
    esac
    DISPLAY=${DISPLAY:-:0.0}
    export DISPLAY
    cd ${ToolPath}
    ${ToolPath}/driver -d${PRINTER} $OstrelCopies $UserName $Title $OptionList "$@" 1>/dev/null 2>/dev/null
    exit 0
    ;;
CUPS)
    PATH=/usr/sbin:/usr/bin:/bin
    RequestID="-o JobID=$1"
    UserName=`printf '%%s\n' "-u $2" | sed 's/"//g'`
    Title=`printf '%%s\n' "-t $3" | sed 's/"//g'`
    Copies="-oCopies=$4"
    OptionList=`printf '%%s\n' "$5" | sed 's/ / -o /g;s/"//g'`
    OptionList="-o $OptionList"
    export PATH RequestID
    shift 5
    PANGO_RC_FILE=${ToolPath}/lib/gtk/modules/etc/pango/pangorc
    GTK_IM_MODULE_FILE=${ToolPath}/lib/gtk/modules/etc/gtk-2.0/gtk.immodules
    GDK_PIXBUF_MODULE_FILE=${ToolPath}/lib/gtk/modules/etc/gtk-2.0/gdk-pixbuf.loaders
    export PANGO_RC_FILE GTK_IM_MODULE_FILE GDK_PIXBUF_MODULE_FILE
    cd ${ToolPath}
    DISPLAY=${DISPLAY:-:0.0}
    export DISPLAY
    ${ToolPath}/driver -d${PRINTER} $Copies $UserName $Title $OptionList "$@" 1>/dev/null 2>/dev/null
    exit 0
    ;;
esac
