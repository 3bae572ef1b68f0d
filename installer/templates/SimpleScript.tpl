OstrelFileSourceDir=`pwd`
export OstrelFileSourceDir
cd %s
exec %s/%s $*
