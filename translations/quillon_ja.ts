<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP" sourcelanguage="en">
<context>
    <name>ByteCountStrip</name>
    <message>
        <source>Differing records per byte</source>
        <translation>バイトごとの相違レコード数</translation>
    </message>
    <message>
        <source>No byte differs</source>
        <translation>相違するバイトはありません</translation>
    </message>
    <message>
        <source>; </source>
        <translation>、</translation>
    </message>
    <message>
        <source>%1: 1 record differs</source>
        <translation>%1: 1 レコードが相違</translation>
    </message>
    <message>
        <source>%1: %2 records differ</source>
        <translation>%1: %2 レコードが相違</translation>
    </message>
</context>
<context>
    <name>CausesPanel</name>
    <message>
        <source>&amp;Likely causes</source>
        <translation>推定原因(&amp;L)</translation>
    </message>
    <message>
        <source>Likely causes</source>
        <translation>推定原因</translation>
    </message>
    <message>
        <source>Condition</source>
        <translation>条件</translation>
    </message>
    <message>
        <source>Captures</source>
        <translation>キャプチャ</translation>
    </message>
    <message>
        <source>Baseline</source>
        <translation>ベースライン</translation>
    </message>
    <message>
        <source>Score</source>
        <translation>スコア</translation>
    </message>
    <message>
        <source>The captures where it held before the trigger</source>
        <translation>トリガの前にこれが成り立っていたキャプチャ</translation>
    </message>
    <message>
        <source>How often it held at the same place otherwise</source>
        <translation>それ以外で同じ位置に成り立っていた割合</translation>
    </message>
    <message>
        <source>Highest for what held in every capture and seldom otherwise</source>
        <translation>すべてのキャプチャで成り立ち、それ以外ではまれなものほど高い</translation>
    </message>
    <message>
        <source>Keep Only These Captures</source>
        <translation>これらのキャプチャだけを残す</translation>
    </message>
    <message>
        <source>Copy Condition</source>
        <translation>条件をコピー</translation>
    </message>
    <message>
        <source>Weaker, on the same field or byte: folded into the cause above</source>
        <translation>同じフィールドまたはバイトのより弱い候補: 上の原因にまとめられています</translation>
    </message>
    <message>
        <source>Finding the likely causes...</source>
        <translation>推定原因を探しています...</translation>
    </message>
    <message>
        <source>Only %1 anchors: the baseline is weak. quillon-cli series --explain --baseline with logs saved while nothing was wrong makes a better one.</source>
        <translation>アンカーが %1 個しかなく、ベースラインが弱いです。異常のないときに保存したログを quillon-cli series --explain --baseline に与えると、よりよいベースラインになります。</translation>
    </message>
    <message>
        <source>No likely cause: nothing held before the trigger in most captures that seldom holds otherwise.</source>
        <translation>推定原因なし: ほとんどのキャプチャでトリガの前に成り立ち、それ以外ではまれなものはありません。</translation>
    </message>
    <message>
        <source>The strongest candidate: %1 (%2 captures, baseline %3, score %4)</source>
        <comment>a condition, the captures k/n where it held, a share, a score</comment>
        <translation>最も強い候補: %1 (キャプチャ %2、ベースライン %3、スコア %4)</translation>
    </message>
    <message>
        <source>%1 candidates tested against %2 anchors.</source>
        <translation>%2 個のアンカーに対して %1 個の候補を調べました。</translation>
    </message>
</context>
<context>
    <name>ColumnWords</name>
    <message>
        <source>Send length</source>
        <translation>Send 長さ</translation>
    </message>
    <message>
        <source>Recv length</source>
        <translation>Recv 長さ</translation>
    </message>
    <message>
        <source>Send header 1</source>
        <translation>Send ヘッダ 1</translation>
    </message>
    <message>
        <source>Recv address</source>
        <translation>Recv アドレス</translation>
    </message>
    <message>
        <source>Send header 2</source>
        <translation>Send ヘッダ 2</translation>
    </message>
    <message>
        <source>Recv command</source>
        <translation>Recv コマンド</translation>
    </message>
    <message>
        <source>Send checksum</source>
        <translation>Send チェックサム</translation>
    </message>
    <message>
        <source>Recv checksum</source>
        <translation>Recv チェックサム</translation>
    </message>
    <message>
        <source>Command</source>
        <comment>the command word&apos;s name</comment>
        <translation>コマンド</translation>
    </message>
</context>
<context>
    <name>ComparisonRulesBox</name>
    <message>
        <source>Only %1</source>
        <translation>%1 のみ</translation>
    </message>
    <message>
        <source>Ignore %1</source>
        <translation>%1 を無視</translation>
    </message>
    <message>
        <source>Rules</source>
        <translation>ルール</translation>
    </message>
    <message>
        <source>Ignore</source>
        <translation>無視</translation>
    </message>
    <message>
        <source>Only</source>
        <translation>のみ</translation>
    </message>
    <message>
        <source>Recv</source>
        <comment>the received block</comment>
        <translation>受信</translation>
    </message>
    <message>
        <source>Send</source>
        <comment>the sent block</comment>
        <translation>送信</translation>
    </message>
    <message>
        <source>Rule Direction</source>
        <translation>ルールの方向</translation>
    </message>
    <message>
        <source>Byte</source>
        <translation>バイト</translation>
    </message>
    <message>
        <source>Mask</source>
        <translation>マスク</translation>
    </message>
    <message>
        <source>Rule Byte</source>
        <translation>ルールのバイト</translation>
    </message>
    <message>
        <source>Rule Mask</source>
        <translation>ルールのマスク</translation>
    </message>
    <message>
        <source>Add Rule</source>
        <translation>ルールを追加</translation>
    </message>
    <message>
        <source>Comparison Rules</source>
        <translation>比較ルール</translation>
    </message>
    <message>
        <source>Remove Rule</source>
        <translation>ルールを削除</translation>
    </message>
</context>
<context>
    <name>ConditionLine</name>
    <message>
        <source>%1 (column %2)</source>
        <translation>%1 (%2 文字目)</translation>
    </message>
</context>
<context>
    <name>FileDialogs</name>
    <message>
        <source>%1
The folder does not exist.
Check the path and try again.</source>
        <translation>%1
フォルダーが存在しません。
パスを確認して、もう一度やり直してください。</translation>
    </message>
    <message>
        <source>Save As</source>
        <translation>名前を付けて保存</translation>
    </message>
    <message>
        <source>Text files (*.txt)</source>
        <translation>テキストファイル (*.txt)</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV ファイル (*.csv)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>すべてのファイル (*)</translation>
    </message>
    <message>
        <source>Log files (*.txt)</source>
        <translation>ログファイル (*.txt)</translation>
    </message>
</context>
<context>
    <name>LogTableModel</name>
    <message>
        <source>Marker</source>
        <translation>マーカー</translation>
    </message>
    <message>
        <source>fired</source>
        <translation>トリガ</translation>
    </message>
    <message>
        <source>meets</source>
        <translation>一致</translation>
    </message>
    <message>
        <source>never written</source>
        <translation>未書き込み</translation>
    </message>
    <message>
        <source>found</source>
        <translation>検索で見つかった</translation>
    </message>
    <message>
        <source>note: %1</source>
        <translation>メモ: %1</translation>
    </message>
    <message>
        <source>; </source>
        <comment>between a record&apos;s mark and its notes</comment>
        <translation>、</translation>
    </message>
</context>
<context>
    <name>Message</name>
    <message>
        <source>SetTimeout2</source>
        <translation>SetTimeout2</translation>
    </message>
    <message>
        <source>No Memory</source>
        <translation>メモリが不足しています</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>エラー</translation>
    </message>
    <message>
        <source>Can&apos;t connect in USB mode. </source>
        <translation>USB モードで接続できません。</translation>
    </message>
    <message>
        <source>Invalid CID</source>
        <translation>無効な CID です</translation>
    </message>
    <message>
        <source>Error!</source>
        <translation>エラー!</translation>
    </message>
    <message>
        <source>ERR_LOADCOMDLL</source>
        <translation>ERR_LOADCOMDLL</translation>
    </message>
    <message>
        <source>CHR_ERROR</source>
        <translation>CHR_ERROR</translation>
    </message>
    <message>
        <source>cannot be loaded</source>
        <translation>読み込めません</translation>
    </message>
    <message>
        <source>This Amplifier doesn&apos;t support Log function!</source>
        <translation>このアンプはログ機能に対応していません!</translation>
    </message>
    <message>
        <source>This Amplifier doesn&apos;t support this command(MOT_READ_COM_DATA)!</source>
        <translation>このアンプはこのコマンド(MOT_READ_COM_DATA)に対応していません!</translation>
    </message>
    <message>
        <source>This Amplifier doesn&apos;t support this command(MOT_READ_COM_DATA_32)!</source>
        <translation>このアンプはこのコマンド(MOT_READ_COM_DATA_32)に対応していません!</translation>
    </message>
    <message>
        <source>Now Logging Error.</source>
        <translation>ログ取得中エラー。</translation>
    </message>
    <message>
        <source>Waveform or FFT function Error.</source>
        <translation>波形または FFT 機能のエラー。</translation>
    </message>
    <message>
        <source>Can&apos;t talk with Amplifier.</source>
        <translation>アンプと通信できません。</translation>
    </message>
    <message>
        <source>the file is empty, not a log (a cleared log view saves one)</source>
        <translation>ファイルが空で、ログではありません(クリアしたログビューを保存すると空になります)</translation>
    </message>
    <message>
        <source>not a log file: no &quot;#Date and Time  : &quot; line</source>
        <translation>ログファイルではありません: &quot;#Date and Time  : &quot; の行がありません</translation>
    </message>
    <message>
        <source>the empty line after the stop condition is missing</source>
        <translation>停止条件の次の空行がありません</translation>
    </message>
    <message>
        <source>neither a stop condition line nor an empty line</source>
        <translation>停止条件の行でも空行でもありません</translation>
    </message>
    <message>
        <source>more than 256 records; a log has 256</source>
        <translation>レコードが 256 を超えています。ログは 256 レコードです</translation>
    </message>
    <message>
        <source>text after the last of the 256 records</source>
        <translation>256 番目のレコードの後に文字があります</translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation>通常のファイルではありません</translation>
    </message>
    <message>
        <source>TARNLINK.DLL is not found.</source>
        <translation>TARNLINK.DLL が見つかりません。</translation>
    </message>
    <message>
        <source>Halvex.DLL is not found.</source>
        <translation>Halvex.DLL が見つかりません。</translation>
    </message>
    <message>
        <source>Can&apos;t open COM port!</source>
        <translation>COM ポートを開けません!</translation>
    </message>
    <message>
        <source>Permission denied (is this user in the dialout group?)</source>
        <translation>アクセスが拒否されました(このユーザーは dialout グループに属していますか?)</translation>
    </message>
    <message>
        <source>held by another program</source>
        <translation>他のプログラムが使用中です</translation>
    </message>
    <message>
        <source>not a terminal</source>
        <translation>端末ではありません</translation>
    </message>
    <message>
        <source>the device is gone</source>
        <translation>デバイスがありません</translation>
    </message>
    <message>
        <source>opens now, but the library could not set the line up</source>
        <translation>現在は開けますが、ライブラリが回線を設定できませんでした</translation>
    </message>
    <message>
        <source>the file ends after %1 records; a log has %2</source>
        <translation>ファイルが %1 レコードで終わっています。ログは %2 レコードです</translation>
    </message>
    <message>
        <source>Error Occurred!</source>
        <translation>エラーが発生しました!</translation>
    </message>
    <message>
        <source>COM%1 is not one of COM%2 to COM%3</source>
        <translation>COM%1 は COM%2 ～ COM%3 のいずれでもありません</translation>
    </message>
    <message>
        <source>a folder, not a regular file</source>
        <translation>フォルダであり、通常のファイルではありません</translation>
    </message>
    <message>
        <source>a named pipe (FIFO), not a regular file</source>
        <translation>名前付きパイプ (FIFO) であり、通常のファイルではありません</translation>
    </message>
    <message>
        <source>a socket, not a regular file</source>
        <translation>ソケットであり、通常のファイルではありません</translation>
    </message>
    <message>
        <source>a device, not a regular file</source>
        <translation>デバイスであり、通常のファイルではありません</translation>
    </message>
    <message>
        <source>a symbolic link to a file that is not there</source>
        <translation>存在しないファイルへのシンボリックリンクです</translation>
    </message>
    <message>
        <source>no log files (*.txt) in the folder</source>
        <translation>フォルダにログファイル (*.txt) がありません</translation>
    </message>
    <message>
        <source>a condition expected</source>
        <translation>条件がありません</translation>
    </message>
    <message>
        <source>a word of the language: a field so named goes in backquotes</source>
        <translation>条件式の予約語です: この名前のフィールドはバッククォートで囲んでください</translation>
    </message>
    <message>
        <source>no field of the fields file has this name</source>
        <translation>この名前のフィールドはフィールドファイルにありません</translation>
    </message>
    <message>
        <source>=, !=, &lt;, &lt;=, &gt;, &gt;= or in expected after &apos;%1&apos;</source>
        <translation>&apos;%1&apos; の後に =、!=、&lt;、&lt;=、&gt;、&gt;= または in が必要です</translation>
    </message>
    <message>
        <source>a value expected after &apos;%1&apos;</source>
        <translation>&apos;%1&apos; の後に値が必要です</translation>
    </message>
    <message>
        <source>a double quote is not closed</source>
        <translation>ダブルクォートが閉じていません</translation>
    </message>
    <message>
        <source>the field names no value so</source>
        <translation>このフィールドにその名前の値はありません</translation>
    </message>
    <message>
        <source>a name of a value where only a number is compared</source>
        <translation>数値だけを比較する所に値の名前があります</translation>
    </message>
    <message>
        <source>only a byte takes &amp; MASK</source>
        <translation>&amp; マスクを付けられるのはバイトだけです</translation>
    </message>
    <message>
        <source>a mask 0-0xFF expected after &apos;&amp;&apos;</source>
        <translation>&apos;&amp;&apos; の後に 0-0xFF のマスクが必要です</translation>
    </message>
    <message>
        <source>&apos;..&apos; and the range&apos;s high end expected</source>
        <translation>&apos;..&apos; と範囲の上限が必要です</translation>
    </message>
    <message>
        <source>a range that holds nothing</source>
        <translation>空の範囲です</translation>
    </message>
    <message>
        <source>&apos;)&apos; expected</source>
        <translation>&apos;)&apos; が必要です</translation>
    </message>
    <message>
        <source>&apos;(&apos; expected after &apos;%1&apos;</source>
        <translation>&apos;%1&apos; の後に &apos;(&apos; が必要です</translation>
    </message>
    <message>
        <source>a place expected after &apos;@&apos; (0, -K, +K, T0, T-K, T+K)</source>
        <translation>&apos;@&apos; の後に位置が必要です (0、-K、+K、T0、T-K、T+K)</translation>
    </message>
    <message>
        <source>a place beyond the records a log holds (255)</source>
        <translation>ログのレコード数を超える位置です (255)</translation>
    </message>
    <message>
        <source>a range of places expected (@T-10..T-1, @-5..-1)</source>
        <translation>位置の範囲が必要です (@T-10..T-1、@-5..-1)</translation>
    </message>
    <message>
        <source>a range&apos;s two places both from T or both from the record</source>
        <translation>範囲の二つの位置は、両方 T から、または両方レコードから数えてください</translation>
    </message>
    <message>
        <source>a comparison with a whole number expected after count&apos;s range</source>
        <translation>count の範囲の後に整数との比較が必要です</translation>
    </message>
    <message>
        <source>&apos;within K&apos; expected after &apos;then&apos;</source>
        <translation>&apos;then&apos; の後に &apos;within K&apos; が必要です</translation>
    </message>
    <message>
        <source>K of within is 1 to 255</source>
        <translation>within の K は 1 から 255 です</translation>
    </message>
    <message>
        <source>the condition ends before this</source>
        <translation>条件はここより前で終わっています</translation>
    </message>
    <message>
        <source>longer than 4096 bytes</source>
        <translation>4096 バイトを超えています</translation>
    </message>
    <message>
        <source>nested deeper than 64</source>
        <translation>入れ子が 64 段を超えています</translation>
    </message>
    <message>
        <source>more than 512 parts</source>
        <translation>要素が 512 個を超えています</translation>
    </message>
    <message>
        <source>too costly to hold at each record: ranges too long</source>
        <translation>各レコードで評価するには重すぎます: 範囲が長すぎます</translation>
    </message>
    <message>
        <source>a field&apos;s name, recv[N], send[N], recv.PART or send.PART expected</source>
        <translation>フィールド名、recv[N]、send[N]、recv.PART または send.PART が必要です</translation>
    </message>
    <message>
        <source>a backquote is not closed</source>
        <translation>バッククォートが閉じていません</translation>
    </message>
    <message>
        <source>no name between the backquotes</source>
        <translation>バッククォートの間に名前がありません</translation>
    </message>
    <message>
        <source>a control character in a name</source>
        <translation>名前に制御文字があります</translation>
    </message>
    <message>
        <source>only recv and send take a byte [N] or a .PART</source>
        <translation>バイト [N] や .PART を付けられるのは recv と send だけです</translation>
    </message>
    <message>
        <source>a byte 0-15 and ] expected</source>
        <translation>0-15 のバイトと ] が必要です</translation>
    </message>
    <message>
        <source>a part of the decoded block expected (recv: length, address, command, checksum; send: length, header_1, header_2, checksum)</source>
        <translation>デコードしたブロックの部分名が必要です (recv: length、address、command、checksum。send: length、header_1、header_2、checksum)</translation>
    </message>
    <message>
        <source>a byte beyond 15</source>
        <translation>15 を超えるバイトです</translation>
    </message>
    <message>
        <source>@ and a place expected (@T0, @T-K, @T+K)</source>
        <translation>@ と位置が必要です (@T0、@T-K、@T+K)</translation>
    </message>
    <message>
        <source>a place is T0, T-K or T+K</source>
        <translation>位置は T0、T-K または T+K です</translation>
    </message>
    <message>
        <source>a place beyond the records a log holds (T-255 to T+255)</source>
        <translation>ログのレコード数を超える位置です (T-255 から T+255)</translation>
    </message>
    <message>
        <source>unexpected text</source>
        <translation>不要な文字があります</translation>
    </message>
</context>
<context>
    <name>NoteDialog</name>
    <message>
        <source>%1 is not a notes file: %2</source>
        <translation>%1 はメモのファイルではありません: %2</translation>
    </message>
    <message>
        <source>%1 is larger than %2 MB.</source>
        <translation>%1 は %2 MB を超えています。</translation>
    </message>
    <message>
        <source>A note needs a text.</source>
        <translation>メモには本文が必要です。</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a tag: a tag is one word.</source>
        <translation>&quot;%1&quot; はタグではありません: タグは 1 語です。</translation>
    </message>
    <message>
        <source>Record %1 was never written.</source>
        <translation>レコード %1 は未書き込みです。</translation>
    </message>
    <message>
        <source>%1 holds no note %2.</source>
        <translation>%1 にメモ %2 はありません。</translation>
    </message>
    <message>
        <source>Note</source>
        <translation>メモ</translation>
    </message>
    <message>
        <source>&amp;Text:</source>
        <translation>本文(&amp;T):</translation>
    </message>
    <message>
        <source>T&amp;ags:</source>
        <translation>タグ(&amp;A):</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>本文</translation>
    </message>
    <message>
        <source>Tags</source>
        <translation>タグ</translation>
    </message>
    <message>
        <source>#overload #axis2</source>
        <translation>#overload #axis2</translation>
    </message>
    <message>
        <source>The notes of %1 are not shown.</source>
        <translation>%1 のメモは表示されません。</translation>
    </message>
    <message>
        <source>The note was not written.</source>
        <translation>メモは書き込まれませんでした。</translation>
    </message>
    <message>
        <source>The note was not removed.</source>
        <translation>メモは削除されませんでした。</translation>
    </message>
</context>
<context>
    <name>PlotView</name>
    <message>
        <source>Plot</source>
        <translation>プロット</translation>
    </message>
    <message>
        <source>%1 over %2</source>
        <comment>the y axis over the x axis</comment>
        <translation>%2 に対する %1</translation>
    </message>
    <message>
        <source>%1, no values to plot</source>
        <translation>%1、プロットする値がありません</translation>
    </message>
    <message>
        <source>%1, 1 point, from %2 to %3</source>
        <translation>%1、1 点、%2 から %3</translation>
    </message>
    <message>
        <source>%1, %2 points, from %3 to %4</source>
        <translation>%1、%2 点、%3 から %4</translation>
    </message>
    <message>
        <source>No values to plot</source>
        <translation>プロットする値がありません</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <comment>what a plot shows: each of its lines</comment>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>; </source>
        <comment>between the lines of a plot</comment>
        <translation>、</translation>
    </message>
</context>
<context>
    <name>PlotWindow</name>
    <message>
        <source>%1 - %2 - Quillon plot</source>
        <translation>%1 - %2 - Quillon プロット</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>ファイル(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Export Picture...</source>
        <translation>画像をエクスポート(&amp;E)...</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>閉じる(&amp;C)</translation>
    </message>
    <message>
        <source>PNG image (*.png)</source>
        <translation>PNG 画像 (*.png)</translation>
    </message>
    <message>
        <source>The picture could not be made into PNG.</source>
        <translation>画像を PNG にできませんでした。</translation>
    </message>
    <message>
        <source>Plot</source>
        <translation>プロット</translation>
    </message>
    <message>
        <source>Column</source>
        <translation>列</translation>
    </message>
    <message>
        <source>&amp;Column:</source>
        <translation>列(&amp;C):</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>キャンセル</translation>
    </message>
    <message>
        <source>%1 (record %2): %3</source>
        <comment>offset, record, value</comment>
        <translation>%1 (レコード %2): %3</translation>
    </message>
    <message>
        <source>record %1: %2</source>
        <translation>レコード %1: %2</translation>
    </message>
    <message>
        <source>offset from the fired record</source>
        <translation>トリガレコードからのオフセット</translation>
    </message>
    <message>
        <source>record</source>
        <translation>レコード</translation>
    </message>
</context>
<context>
    <name>Report</name>
    <message>
        <source>The notes of %1 could not be read: %2</source>
        <translation>%1 のメモを読めませんでした: %2</translation>
    </message>
    <message>
        <source>No notes.</source>
        <translation>メモはありません。</translation>
    </message>
    <message>
        <source>The log</source>
        <translation>ログ</translation>
    </message>
    <message>
        <source>Record %1 (%2)</source>
        <translation>レコード %1 (%2)</translation>
    </message>
    <message>
        <source>Record %1</source>
        <translation>レコード %1</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>レコード</translation>
    </message>
    <message>
        <source>Offset</source>
        <translation>オフセット</translation>
    </message>
    <message>
        <source>Received</source>
        <translation>受信</translation>
    </message>
    <message>
        <source>Sent</source>
        <translation>送信</translation>
    </message>
    <message>
        <source>Command</source>
        <translation>コマンド</translation>
    </message>
    <message>
        <source>Fields</source>
        <translation>フィールド</translation>
    </message>
    <message>
        <source>checksums compared by value</source>
        <translation>チェックサムを値で比較</translation>
    </message>
    <message>
        <source>Fields: %1</source>
        <translation>フィールド: %1</translation>
    </message>
    <message>
        <source>Kept where %1: %2 of %3 captures</source>
        <translation>%1 を満たすものを残す: %3 件のキャプチャのうち %2 件</translation>
    </message>
    <message>
        <source>The reference chosen was left out: the first capture kept is the reference.</source>
        <translation>選んだ基準は除外されました。残した最初のキャプチャを基準にします。</translation>
    </message>
    <message>
        <source>Left out:</source>
        <translation>除外:</translation>
    </message>
    <message>
        <source>Reference and rules</source>
        <translation>基準とルール</translation>
    </message>
    <message>
        <source>Fired record</source>
        <translation>トリガレコード</translation>
    </message>
    <message>
        <source>Records meeting the stop condition</source>
        <translation>停止条件に一致するレコード</translation>
    </message>
    <message>
        <source>Records differing</source>
        <translation>相違レコード</translation>
    </message>
    <message>
        <source>Differing most</source>
        <translation>最も相違する位置</translation>
    </message>
    <message>
        <source>reference</source>
        <translation>基準</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%2 中 %1</translation>
    </message>
    <message>
        <source>Captures</source>
        <translation>キャプチャ</translation>
    </message>
    <message>
        <source>How many captures differ from the reference at each offset from the fired record (rows) in each byte position and field (columns).</source>
        <translation>トリガレコードからの各オフセット (行) で、各バイト位置とフィールド (列) が基準と相違するキャプチャの数。</translation>
    </message>
    <message>
        <source>Plots</source>
        <translation>プロット</translation>
    </message>
    <message>
        <source>%1 anchors</source>
        <translation>アンカー %1 個</translation>
    </message>
    <message>
        <source>Few anchors: the baseline is weak.</source>
        <translation>アンカーが少なく、ベースラインが弱いです。</translation>
    </message>
    <message>
        <source>%1 of %2 captures, baseline %3, score %4</source>
        <translation>%2 件のキャプチャのうち %1 件、ベースライン %3、スコア %4</translation>
    </message>
    <message>
        <source>No likely cause: nothing held before the trigger in most captures that seldom holds otherwise.</source>
        <translation>推定原因なし: ほとんどのキャプチャでトリガの前に成り立ち、それ以外ではまれなものはありません。</translation>
    </message>
    <message>
        <source>The strongest candidate:</source>
        <translation>最も強い候補:</translation>
    </message>
    <message>
        <source>Likely causes</source>
        <translation>推定原因</translation>
    </message>
    <message>
        <source>Each capture&apos;s fired record (%1) with %2 records before and after it; bytes and fields that differ from the reference are marked.</source>
        <translation>各キャプチャのトリガレコード (%1) と、その前後 %2 レコード。基準と相違するバイトとフィールドに印を付けています。</translation>
    </message>
    <message>
        <source>No fired record: the last records written.</source>
        <translation>トリガレコードなし: 最後に書き込まれたレコード。</translation>
    </message>
    <message>
        <source>Records around the fired record</source>
        <translation>トリガレコードの前後のレコード</translation>
    </message>
    <message>
        <source>Notes</source>
        <translation>メモ</translation>
    </message>
    <message>
        <source>Quillon report: %1</source>
        <translation>Quillon レポート: %1</translation>
    </message>
    <message>
        <source>%1 captures, %2 to %3</source>
        <translation>キャプチャ %1 件、%2 から %3</translation>
    </message>
    <message>
        <source>Made by Quillon %1</source>
        <translation>Quillon %1 で作成</translation>
    </message>
    <message>
        <source>Date and time: %1</source>
        <translation>日時: %1</translation>
    </message>
    <message>
        <source>Stop condition: %1</source>
        <translation>停止条件: %1</translation>
    </message>
    <message>
        <source>The trigger fired at record %1, count %2.</source>
        <translation>レコード %1 でトリガが成立、カウント %2。</translation>
    </message>
    <message>
        <source>No fired record: the log was stopped before its trigger fired.</source>
        <translation>トリガレコードなし: トリガが成立する前にログが停止されました。</translation>
    </message>
    <message>
        <source>%1 records meet the stop condition %2.</source>
        <translation>%1 レコードが停止条件 %2 に一致します。</translation>
    </message>
    <message>
        <source>%1 records written, %2 never written.</source>
        <translation>%1 レコードが書き込み済み、%2 レコードが未書き込み。</translation>
    </message>
    <message>
        <source>Summary</source>
        <translation>概要</translation>
    </message>
    <message>
        <source>Offsets %1 to %2 of %3 to %4.</source>
        <translation>オフセット %3 から %4 のうち %1 から %2。</translation>
    </message>
</context>
<context>
    <name>TMainForm</name>
    <message>
        <source>Log Mode</source>
        <translation>ログモード</translation>
    </message>
    <message>
        <source>16 byte mode</source>
        <translation>16 バイトモード</translation>
    </message>
    <message>
        <source>32 byte mode</source>
        <translation>32 バイトモード</translation>
    </message>
    <message>
        <source>Check!</source>
        <translation>チェック!</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>ステータス</translation>
    </message>
    <message>
        <source>Phase</source>
        <translation>フェーズ</translation>
    </message>
    <message>
        <source>START</source>
        <translation>開始</translation>
    </message>
    <message>
        <source>SAVE LOG</source>
        <translation>ログ保存</translation>
    </message>
    <message>
        <source>Log read progress</source>
        <translation>ログ読み込みの進み具合</translation>
    </message>
    <message>
        <source>Stop Condition</source>
        <translation>停止条件</translation>
    </message>
    <message>
        <source>Enable Stop Condition</source>
        <translation>停止条件を有効にする</translation>
    </message>
    <message>
        <source>Byte</source>
        <translation>バイト</translation>
    </message>
    <message>
        <source>Mask Data</source>
        <translation>マスクデータ</translation>
    </message>
    <message>
        <source>Condition Data</source>
        <translation>条件データ</translation>
    </message>
    <message>
        <source>then</source>
        <translation>成立後</translation>
    </message>
    <message>
        <source>Stop Logging after count</source>
        <translation>カウント後にログを停止</translation>
    </message>
    <message>
        <source>Re-arm after automatic save</source>
        <translation>自動保存後に再アーム</translation>
    </message>
    <message>
        <source>Logs saved in this series</source>
        <translation>このシリーズで保存したログ</translation>
    </message>
    <message>
        <source>Communication Data</source>
        <translation>通信データ</translation>
    </message>
    <message>
        <source>RX(Cmd)</source>
        <translation>RX(コマンド)</translation>
    </message>
    <message>
        <source>TX(Rsp)</source>
        <translation>TX(レスポンス)</translation>
    </message>
    <message>
        <source>Ctrl+O</source>
        <translation>Ctrl+O</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>ファイル(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Setting</source>
        <translation>設定(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;Language</source>
        <translation>言語(&amp;L)</translation>
    </message>
    <message>
        <source>&amp;Log</source>
        <translation>ログ(&amp;L)</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>ヘルプ(&amp;H)</translation>
    </message>
    <message>
        <source>&amp;Open Log...</source>
        <translation>ログを開く(&amp;O)...</translation>
    </message>
    <message>
        <source>Open &amp;Series...</source>
        <translation>シリーズを開く(&amp;S)...</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>終了(&amp;X)</translation>
    </message>
    <message>
        <source>&amp;Configuration</source>
        <translation>環境設定(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;System</source>
        <translation>システム(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;English</source>
        <translation>English(&amp;E)</translation>
    </message>
    <message>
        <source>&amp;View Log Data</source>
        <translation>ログデータを表示(&amp;V)</translation>
    </message>
    <message>
        <source>&amp;Reading Logs</source>
        <translation>ログの読み方(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;About Quillon</source>
        <translation>Quillon について(&amp;A)</translation>
    </message>
    <message>
        <source>IDLE</source>
        <translation>待機中</translation>
    </message>
    <message>
        <source>Logging</source>
        <translation>ログ取得中</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>キャンセル</translation>
    </message>
    <message>
        <source>STOP</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Saving...</source>
        <translation>保存中...</translation>
    </message>
    <message>
        <source>Finish Saving Log.</source>
        <translation>ログの保存を終了しました。</translation>
    </message>
    <message>
        <source>Complete!</source>
        <translation>完了!</translation>
    </message>
    <message>
        <source>The log was stopped before its trigger fired.</source>
        <translation>トリガが成立する前にログが停止されました。</translation>
    </message>
    <message>
        <source>1 log saved</source>
        <translation>1 件のログを保存</translation>
    </message>
    <message>
        <source>%1 logs saved</source>
        <translation>%1 件のログを保存</translation>
    </message>
    <message>
        <source>Not saved Log.</source>
        <translation>ログは保存されていません。</translation>
    </message>
    <message>
        <source>Error!</source>
        <translation>エラー!</translation>
    </message>
    <message>
        <source>About Quillon</source>
        <translation>Quillon について</translation>
    </message>
    <message>
        <source>Quillon %1</source>
        <translation>Quillon %1</translation>
    </message>
    <message>
        <source>Reads the communication log of a servo amplifier.

Proprietary software. Qt is used under the GNU LGPL version 3.

Qt %1</source>
        <translation>サーボアンプの通信ログを読み取ります。

プロプライエタリソフトウェアです。Qt は GNU LGPL バージョン 3 の下で使用しています。

Qt %1</translation>
    </message>
    <message>
        <source>The guide to reading logs is not installed.
It is the section &quot;Reading logs&quot; of Quillon&apos;s README.</source>
        <translation>ログの読み方のガイドがインストールされていません。
Quillon の README の「Reading logs」の節にあります。</translation>
    </message>
    <message>
        <source>Reading Logs</source>
        <translation>ログの読み方</translation>
    </message>
    <message>
        <source>No program could open %1.</source>
        <translation>%1 を開けるプログラムがありません。</translation>
    </message>
    <message>
        <source>Another series of logs is being captured over USB from this amplifier; one series at a time.</source>
        <translation>このアンプからは、別のログのシリーズが USB で取り込まれています。シリーズは一度に一つです。</translation>
    </message>
    <message>
        <source>Another series of logs is being captured over USB from this amplifier (process %1); one series at a time.</source>
        <translation>このアンプからは、別のログのシリーズが USB で取り込まれています (プロセス %1)。シリーズは一度に一つです。</translation>
    </message>
    <message>
        <source>Save in</source>
        <translation>保存先</translation>
    </message>
    <message>
        <source>Folder of the series</source>
        <translation>シリーズの保存先フォルダ</translation>
    </message>
    <message>
        <source>Choose the folder of the series</source>
        <translation>シリーズの保存先フォルダを選ぶ</translation>
    </message>
    <message>
        <source>Count</source>
        <translation>個数</translation>
    </message>
    <message>
        <source>No limit</source>
        <translation>無制限</translation>
    </message>
    <message>
        <source>Logs in the series</source>
        <translation>シリーズのログ数</translation>
    </message>
    <message>
        <source>Byte0</source>
        <translation>バイト0</translation>
    </message>
    <message>
        <source>Byte15</source>
        <translation>バイト15</translation>
    </message>
    <message>
        <source>Byte16</source>
        <translation>バイト16</translation>
    </message>
    <message>
        <source>Byte31</source>
        <translation>バイト31</translation>
    </message>
    <message>
        <source>Fields...</source>
        <translation>フィールド...</translation>
    </message>
    <message>
        <source>Choose the fields file of the condition</source>
        <translation>条件のフィールドファイルを選ぶ</translation>
    </message>
    <message>
        <source>Fields file of the condition</source>
        <translation>条件のフィールドファイル</translation>
    </message>
    <message>
        <source>Keep only captures where</source>
        <translation>次の条件を満たすキャプチャだけを残す</translation>
    </message>
    <message>
        <source>Keep only captures where &quot;%1&quot;: %2</source>
        <translation>次の条件を満たすキャプチャだけを残す &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>The capture %1 does not meet the condition, but it could not be moved into the folder &quot;%2&quot; beside it; it stays where it was saved.</source>
        <translation>キャプチャ %1 は条件に一致しませんが、隣のフォルダ &quot;%2&quot; に移せませんでした。保存された場所に残ります。</translation>
    </message>
    <message>
        <source>Fields (*.json)</source>
        <translation>フィールド (*.json)</translation>
    </message>
    <message>
        <source>%1 kept, %2 left out</source>
        <translation>%1 件を残し、%2 件を除外</translation>
    </message>
</context>
<context>
    <name>TfrmConfiguration</name>
    <message>
        <source>Configuration</source>
        <translation>環境設定</translation>
    </message>
    <message>
        <source>Log Save Condition</source>
        <translation>ログ保存条件</translation>
    </message>
    <message>
        <source>Automatic ( After trigger detect )</source>
        <translation>自動 ( トリガ検出後 )</translation>
    </message>
    <message>
        <source>Manual</source>
        <translation>手動</translation>
    </message>
    <message>
        <source>Communication Type</source>
        <translation>通信方式</translation>
    </message>
    <message>
        <source>COM Port</source>
        <translation>COM ポート</translation>
    </message>
    <message>
        <source>Baud Rate</source>
        <translation>ボーレート</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>キャンセル</translation>
    </message>
    <message>
        <source>not present</source>
        <comment>a port&apos;s device</comment>
        <translation>ありません</translation>
    </message>
</context>
<context>
    <name>TfrmLogBrowser</name>
    <message>
        <source>Quillon</source>
        <translation>Quillon</translation>
    </message>
    <message>
        <source>Find</source>
        <translation>検索</translation>
    </message>
    <message>
        <source>Byte</source>
        <translation>バイト</translation>
    </message>
    <message>
        <source>Mask</source>
        <translation>マスク</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>値</translation>
    </message>
    <message>
        <source>Previous</source>
        <translation>前へ</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>次へ</translation>
    </message>
    <message>
        <source>Comparison</source>
        <translation>比較</translation>
    </message>
    <message>
        <source>Close Comparison</source>
        <translation>比較を閉じる</translation>
    </message>
    <message>
        <source>Previous Difference</source>
        <translation>前の相違</translation>
    </message>
    <message>
        <source>Next Difference</source>
        <translation>次の相違</translation>
    </message>
    <message>
        <source>Ignore</source>
        <translation>無視</translation>
    </message>
    <message>
        <source>Only</source>
        <translation>のみ</translation>
    </message>
    <message>
        <source>Rule Direction</source>
        <translation>ルールの方向</translation>
    </message>
    <message>
        <source>Rule Byte</source>
        <translation>ルールのバイト</translation>
    </message>
    <message>
        <source>Rule Mask</source>
        <translation>ルールのマスク</translation>
    </message>
    <message>
        <source>Add Rule</source>
        <translation>ルールを追加</translation>
    </message>
    <message>
        <source>Comparison Rules</source>
        <translation>比較ルール</translation>
    </message>
    <message>
        <source>Remove Rule</source>
        <translation>ルールを削除</translation>
    </message>
    <message>
        <source>Records</source>
        <translation>レコード</translation>
    </message>
    <message>
        <source>Compared Records</source>
        <translation>比較したレコード</translation>
    </message>
    <message>
        <source>Ctrl+D</source>
        <translation>Ctrl+D</translation>
    </message>
    <message>
        <source>Ctrl+W</source>
        <translation>Ctrl+W</translation>
    </message>
    <message>
        <source>Ctrl+C</source>
        <translation>Ctrl+C</translation>
    </message>
    <message>
        <source>Ctrl+F</source>
        <translation>Ctrl+F</translation>
    </message>
    <message>
        <source>F3</source>
        <translation>F3</translation>
    </message>
    <message>
        <source>Shift+F3</source>
        <translation>Shift+F3</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>ファイル(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>編集(&amp;E)</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>表示(&amp;V)</translation>
    </message>
    <message>
        <source>Co&amp;mpare With...</source>
        <translation>比較(&amp;M)...</translation>
    </message>
    <message>
        <source>Export C&amp;SV...</source>
        <translation>CSV をエクスポート(&amp;S)...</translation>
    </message>
    <message>
        <source>Export &amp;JSON...</source>
        <translation>JSON をエクスポート(&amp;J)...</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>閉じる(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>コピー(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;Find...</source>
        <translation>検索(&amp;F)...</translation>
    </message>
    <message>
        <source>Find &amp;Next</source>
        <translation>次を検索(&amp;N)</translation>
    </message>
    <message>
        <source>Find &amp;Previous</source>
        <translation>前を検索(&amp;P)</translation>
    </message>
    <message>
        <source>&amp;Decoded</source>
        <translation>デコード表示(&amp;D)</translation>
    </message>
    <message>
        <source>F&amp;ields...</source>
        <translation>フィールド(&amp;I)...</translation>
    </message>
    <message>
        <source>&amp;Plot...</source>
        <translation>プロット(&amp;P)...</translation>
    </message>
    <message>
        <source>Stop Condition: %1</source>
        <translation>停止条件: %1</translation>
    </message>
    <message>
        <source>not recorded</source>
        <translation>記録なし</translation>
    </message>
    <message>
        <source>Date and Time: %1</source>
        <translation>日時: %1</translation>
    </message>
    <message>
        <source>A log view file does not record the stop condition.</source>
        <translation>ログビューのファイルには停止条件が記録されません。</translation>
    </message>
    <message>
        <source>No stop condition in this log.</source>
        <translation>このログには停止条件がありません。</translation>
    </message>
    <message>
        <source>The stop condition %1 tests a byte beyond the 16 logged bytes of each direction.</source>
        <translation>停止条件 %1 は、各方向で記録される 16 バイトを超えるバイトを調べます。</translation>
    </message>
    <message>
        <source>1 record meets the stop condition %1</source>
        <translation>1 レコードが停止条件 %1 に一致</translation>
    </message>
    <message>
        <source>%1 records meet the stop condition %2</source>
        <translation>%1 レコードが停止条件 %2 に一致</translation>
    </message>
    <message>
        <source>1 record never written</source>
        <translation>1 レコードが未書き込み</translation>
    </message>
    <message>
        <source>%1 records never written</source>
        <translation>%1 レコードが未書き込み</translation>
    </message>
    <message>
        <source>%1 %2.</source>
        <comment>the summary, then the records never written</comment>
        <translation>%1 %2。</translation>
    </message>
    <message>
        <source>fired at record %1, count %2</source>
        <translation>レコード %1 でトリガが成立、カウント %2</translation>
    </message>
    <message>
        <source>no fired record: the log was stopped before its trigger fired</source>
        <translation>トリガレコードなし: トリガが成立する前にログが停止されました</translation>
    </message>
    <message>
        <source>; </source>
        <comment>between the parts of a summary</comment>
        <translation>、</translation>
    </message>
    <message>
        <source>No record meets %1</source>
        <translation>%1 に一致するレコードはありません</translation>
    </message>
    <message>
        <source>1 record meets %1</source>
        <translation>1 レコードが %1 に一致</translation>
    </message>
    <message>
        <source>%1 records meet %2</source>
        <translation>%1 レコードが %2 に一致</translation>
    </message>
    <message>
        <source>fired record (A %1, B %2)</source>
        <translation>トリガレコード (A %1、B %2)</translation>
    </message>
    <message>
        <source>as asked</source>
        <translation>指定どおり</translation>
    </message>
    <message>
        <source>B has no fired record</source>
        <translation>B にトリガレコードがありません</translation>
    </message>
    <message>
        <source>A has no fired record</source>
        <translation>A にトリガレコードがありません</translation>
    </message>
    <message>
        <source>neither log has a fired record</source>
        <translation>どちらのログにもトリガレコードがありません</translation>
    </message>
    <message>
        <source>record number (%1)</source>
        <translation>レコード番号 (%1)</translation>
    </message>
    <message>
        <source>Aligned by: %1; records only in A: %2, only in B: %3.</source>
        <translation>揃え方: %1、A のみのレコード: %2、B のみ: %3。</translation>
    </message>
    <message>
        <source>No differences.</source>
        <translation>相違はありません。</translation>
    </message>
    <message>
        <source>%1 of %2 records differs</source>
        <translation>%2 レコード中 %1 レコードが相違</translation>
    </message>
    <message>
        <source>%1 of %2 records differ</source>
        <translation>%2 レコード中 %1 レコードが相違</translation>
    </message>
    <message>
        <source>the stop conditions differ</source>
        <translation>停止条件が相違</translation>
    </message>
    <message>
        <source>%1.</source>
        <comment>a sentence of parts</comment>
        <translation>%1。</translation>
    </message>
    <message>
        <source>Only %1</source>
        <translation>%1 のみ</translation>
    </message>
    <message>
        <source>Ignore %1</source>
        <translation>%1 を無視</translation>
    </message>
    <message>
        <source>%1 (fixed columns)</source>
        <translation>%1 (固定列)</translation>
    </message>
    <message>
        <source>%1 - Quillon</source>
        <translation>%1 - Quillon</translation>
    </message>
    <message>
        <source>A: %1</source>
        <translation>A: %1</translation>
    </message>
    <message>
        <source>B: %1</source>
        <translation>B: %1</translation>
    </message>
    <message>
        <source>Fields (*.json)</source>
        <translation>フィールド (*.json)</translation>
    </message>
    <message>
        <source>CSV (*.csv)</source>
        <translation>CSV (*.csv)</translation>
    </message>
    <message>
        <source>JSON (*.json)</source>
        <translation>JSON (*.json)</translation>
    </message>
    <message>
        <source>Recv</source>
        <comment>the received block</comment>
        <translation>受信</translation>
    </message>
    <message>
        <source>Send</source>
        <comment>the sent block</comment>
        <translation>送信</translation>
    </message>
    <message>
        <source>Con&amp;dition</source>
        <translation>条件(&amp;D)</translation>
    </message>
    <message>
        <source>No&amp;te...</source>
        <translation>メモ(&amp;T)...</translation>
    </message>
    <message>
        <source>Ctrl+M</source>
        <translation>Ctrl+M</translation>
    </message>
    <message>
        <source>Note on the &amp;Log...</source>
        <translation>ログにメモ(&amp;L)...</translation>
    </message>
    <message>
        <source>Ne&amp;xt Note</source>
        <translation>次のメモ(&amp;X)</translation>
    </message>
    <message>
        <source>F4</source>
        <translation>F4</translation>
    </message>
    <message>
        <source>Pre&amp;vious Note</source>
        <translation>前のメモ(&amp;V)</translation>
    </message>
    <message>
        <source>Shift+F4</source>
        <translation>Shift+F4</translation>
    </message>
    <message>
        <source>Notes</source>
        <translation>メモ</translation>
    </message>
    <message>
        <source>&amp;Notes</source>
        <translation>メモ(&amp;N)</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>レコード</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>本文</translation>
    </message>
    <message>
        <source>Tags</source>
        <translation>タグ</translation>
    </message>
    <message>
        <source>Note on the Log...</source>
        <translation>ログにメモ...</translation>
    </message>
    <message>
        <source>Remove Note</source>
        <translation>メモを削除</translation>
    </message>
    <message>
        <source>log</source>
        <comment>a note on the log itself, not on a record</comment>
        <translation>ログ</translation>
    </message>
    <message>
        <source>Note on record %1 of %2</source>
        <translation>%2 のレコード %1 へのメモ</translation>
    </message>
    <message>
        <source>Note on %1</source>
        <translation>%1 へのメモ</translation>
    </message>
</context>
<context>
    <name>TfrmLogWindow</name>
    <message>
        <source>Log Veiw</source>
        <translation>ログビュー</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>ログ</translation>
    </message>
    <message>
        <source>&amp;Get Log</source>
        <translation>ログ取得(&amp;G)</translation>
    </message>
    <message>
        <source>&amp;Save Log</source>
        <translation>ログ保存(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;Clear Log</source>
        <translation>ログ消去(&amp;C)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>すべてのファイル (*)</translation>
    </message>
</context>
<context>
    <name>TfrmSeries</name>
    <message>
        <source>Time</source>
        <translation>時刻</translation>
    </message>
    <message>
        <source>File</source>
        <translation>ファイル</translation>
    </message>
    <message>
        <source>Fired record</source>
        <translation>トリガレコード</translation>
    </message>
    <message>
        <source>Command</source>
        <translation>コマンド</translation>
    </message>
    <message>
        <source>Meets</source>
        <translation>一致</translation>
    </message>
    <message>
        <source>Records differing</source>
        <translation>相違レコード</translation>
    </message>
    <message>
        <source>Differing most</source>
        <translation>最も相違</translation>
    </message>
    <message>
        <source>Reference</source>
        <translation>基準</translation>
    </message>
    <message>
        <source>none</source>
        <comment>no fired record</comment>
        <translation>なし</translation>
    </message>
    <message>
        <source>reference</source>
        <comment>the reference capture</comment>
        <translation>基準</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>値</translation>
    </message>
    <message>
        <source>%1 - Quillon series</source>
        <translation>%1 - Quillon シリーズ</translation>
    </message>
    <message>
        <source>Series</source>
        <translation>シリーズ</translation>
    </message>
    <message>
        <source>Captures</source>
        <translation>キャプチャ</translation>
    </message>
    <message>
        <source>Set as Reference</source>
        <translation>基準に設定</translation>
    </message>
    <message>
        <source>Files not read</source>
        <translation>読めなかったファイル</translation>
    </message>
    <message>
        <source>1 file could not be read:</source>
        <translation>1 個のファイルを読めませんでした:</translation>
    </message>
    <message>
        <source>%1 files could not be read:</source>
        <translation>%1 個のファイルを読めませんでした:</translation>
    </message>
    <message>
        <source>Variation</source>
        <translation>変動</translation>
    </message>
    <message>
        <source>Chosen cell</source>
        <translation>選択したセル</translation>
    </message>
    <message>
        <source>Values of the chosen cell</source>
        <translation>選択したセルの値</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>ファイル(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Export Picture...</source>
        <translation>画像をエクスポート(&amp;E)...</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>閉じる(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;Capture</source>
        <translation>キャプチャ(&amp;C)</translation>
    </message>
    <message>
        <source>Set as &amp;Reference</source>
        <translation>基準に設定(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Open in Browser</source>
        <translation>ログブラウザで開く(&amp;O)</translation>
    </message>
    <message>
        <source>Choose a cell of the map to see each capture&apos;s value there.</source>
        <translation>マップのセルを選ぶと、そこでの各キャプチャの値を表示します。</translation>
    </message>
    <message>
        <source>capture time</source>
        <translation>キャプチャ時刻</translation>
    </message>
    <message>
        <source>value</source>
        <translation>値</translation>
    </message>
    <message>
        <source>%1 at %2</source>
        <comment>a value at an offset from the fired record</comment>
        <translation>%2 の %1</translation>
    </message>
    <message>
        <source>PNG image (*.png)</source>
        <translation>PNG 画像 (*.png)</translation>
    </message>
    <message>
        <source>None of the files could be read as a log.</source>
        <translation>どのファイルもログとして読めませんでした。</translation>
    </message>
    <message>
        <source>Export &amp;Table...</source>
        <translation>表をエクスポート(&amp;T)...</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>表示(&amp;V)</translation>
    </message>
    <message>
        <source>F&amp;ields...</source>
        <translation>フィールド(&amp;I)...</translation>
    </message>
    <message>
        <source>C&amp;olumns...</source>
        <translation>列(&amp;O)...</translation>
    </message>
    <message>
        <source>Fields (*.json)</source>
        <translation>フィールド (*.json)</translation>
    </message>
    <message>
        <source>Folder: %1</source>
        <translation>フォルダ: %1</translation>
    </message>
    <message>
        <source>Reference: %1</source>
        <translation>基準: %1</translation>
    </message>
    <message>
        <source>Rules: none</source>
        <translation>ルール: なし</translation>
    </message>
    <message>
        <source>Rules: %1</source>
        <translation>ルール: %1</translation>
    </message>
    <message>
        <source>, </source>
        <comment>between rules</comment>
        <translation>、</translation>
    </message>
    <message>
        <source>CSV (*.csv)</source>
        <translation>CSV (*.csv)</translation>
    </message>
    <message>
        <source>, </source>
        <comment>between byte positions</comment>
        <translation>、</translation>
    </message>
    <message>
        <source>differs from the reference</source>
        <translation>基準と相違</translation>
    </message>
    <message>
        <source>&amp;Keep only captures where</source>
        <translation>次の条件を満たすキャプチャだけを残す(&amp;K)</translation>
    </message>
    <message>
        <source>%1 of %2 captures kept; %3 left out</source>
        <translation>%2 件のキャプチャのうち %1 件を残し、%3 件を除外</translation>
    </message>
    <message>
        <source>%1; the reference %2 was left out: the first capture kept, %3, is the reference</source>
        <comment>the captures kept and left out, then the reference that changed</comment>
        <translation>%1。基準 %2 は除外されたため、残した最初のキャプチャ %3 が基準です</translation>
    </message>
    <message>
        <source>Kept where %1: %2</source>
        <translation>%1 を満たすものを残す: %2</translation>
    </message>
    <message>
        <source>notes not read</source>
        <translation>メモを読めません</translation>
    </message>
    <message>
        <source>; </source>
        <comment>between a capture&apos;s notes</comment>
        <translation>、</translation>
    </message>
    <message>
        <source>(+%1)</source>
        <comment>how many notes the capture&apos;s records have</comment>
        <translation>(+%1)</translation>
    </message>
    <message>
        <source>record %1: %2</source>
        <translation>レコード %1: %2</translation>
    </message>
    <message>
        <source>Notes</source>
        <translation>メモ</translation>
    </message>
    <message>
        <source>&amp;Note...</source>
        <translation>メモ(&amp;N)...</translation>
    </message>
    <message>
        <source>Note on %1</source>
        <translation>%1 へのメモ</translation>
    </message>
    <message>
        <source>Export &amp;Report...</source>
        <translation>レポートをエクスポート(&amp;R)...</translation>
    </message>
    <message>
        <source>HTML document (*.html)</source>
        <translation>HTML 文書 (*.html)</translation>
    </message>
</context>
<context>
    <name>ValueColumnsDialog</name>
    <message>
        <source>Columns</source>
        <translation>列</translation>
    </message>
    <message>
        <source>&amp;Value:</source>
        <translation>値(&amp;V):</translation>
    </message>
    <message>
        <source>Field or byte</source>
        <translation>フィールドまたはバイト</translation>
    </message>
    <message>
        <source>&amp;At:</source>
        <translation>位置(&amp;A):</translation>
    </message>
    <message>
        <source>Place from the fired record</source>
        <translation>トリガレコードからの位置</translation>
    </message>
    <message>
        <source>&amp;Add Column</source>
        <translation>列を追加(&amp;A)</translation>
    </message>
    <message>
        <source>Add Column</source>
        <translation>列を追加</translation>
    </message>
    <message>
        <source>Columns shown</source>
        <translation>表示する列</translation>
    </message>
    <message>
        <source>&amp;Remove Column</source>
        <translation>列を削除(&amp;R)</translation>
    </message>
    <message>
        <source>Remove Column</source>
        <translation>列を削除</translation>
    </message>
</context>
<context>
    <name>VariationMapView</name>
    <message>
        <source>Variation map</source>
        <translation>変動マップ</translation>
    </message>
    <message>
        <source>No capture with a fired record to map</source>
        <translation>マップにするトリガレコードのあるキャプチャがありません</translation>
    </message>
    <message>
        <source>1 capture</source>
        <translation>1 キャプチャ</translation>
    </message>
    <message>
        <source>%1 captures</source>
        <translation>%1 キャプチャ</translation>
    </message>
    <message>
        <source>How many captures differ from the reference at each offset from the fired record (rows, %1 to %2) in each byte position and field (columns); %3 mapped</source>
        <translation>トリガレコードからの各オフセット (行、%1 から %2) の各バイト位置とフィールド (列) で基準と相違するキャプチャの数。%3 をマップ</translation>
    </message>
    <message>
        <source>How many captures differ from the reference at each offset from the fired record (rows, %1 to %2) in each byte position (columns); %3 mapped</source>
        <translation>トリガレコードからの各オフセット (行、%1 から %2) の各バイト位置 (列) で基準と相違するキャプチャの数。%3 をマップ</translation>
    </message>
    <message>
        <source>Captures differing</source>
        <translation>相違するキャプチャ</translation>
    </message>
    <message>
        <source>1 capture differs</source>
        <translation>1 キャプチャが相違</translation>
    </message>
    <message>
        <source>%1 captures differ</source>
        <translation>%1 キャプチャが相違</translation>
    </message>
    <message>
        <source>1 distinct value</source>
        <translation>異なる値 1 個</translation>
    </message>
    <message>
        <source>%1 distinct values</source>
        <translation>異なる値 %1 個</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Quillon is running already but does not answer.</source>
        <translation>Quillon はすでに実行中ですが、応答しません。</translation>
    </message>
    <message>
        <source>There is no runtime folder for Quillon&apos;s socket (XDG_RUNTIME_DIR is not set).</source>
        <translation>Quillon のソケットを置くランタイムフォルダがありません (XDG_RUNTIME_DIR が設定されていません)。</translation>
    </message>
    <message>
        <source>%1 is not a folder of yours that only you may enter, so Quillon keeps no socket there.</source>
        <translation>%1 はあなただけが入れるあなたのフォルダではないため、Quillon はそこにソケットを置きません。</translation>
    </message>
    <message>
        <source>%1 is a folder or another kind of file, not Quillon&apos;s socket or lock; Quillon leaves it be.</source>
        <translation>%1 はフォルダまたは別の種類のファイルで、Quillon のソケットやロックではありません。Quillon はそのままにします。</translation>
    </message>
    <message>
        <source>Quillon cannot make %1: %2</source>
        <translation>Quillon は %1 を作成できません: %2</translation>
    </message>
    <message>
        <source>Quillon runs without handing files between Quillons: one started later opens a window of its own, on the same amplifier, rather than handing its files to this one.</source>
        <translation>Quillon はファイルの引き渡しなしで動作します: 後から起動した Quillon は、ファイルをこの Quillon に渡さず、同じアンプに対して自分のウィンドウを開きます。</translation>
    </message>
    <message>
        <source>Quillon is running already, but the files named are too many to hand over to it.</source>
        <translation>Quillon は既に起動していますが、指定されたファイルが多すぎて引き渡せません。</translation>
    </message>
</context>
<context>
    <name>quillon::CaptureNotices</name>
    <message>
        <source>Capture saved</source>
        <translation>キャプチャを保存しました</translation>
    </message>
    <message>
        <source>%1, fired record %2</source>
        <translation>%1、トリガレコード %2</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>開く</translation>
    </message>
</context>
</TS>
