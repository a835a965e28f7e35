object MainForm: TMainForm
  Left = 388
  Top = 116
  Width = 419
  Height = 246
  BorderIcons = [biSystemMenu, biMinimize]
  Caption = 'Zelvane 0.1'
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Font.Style = []
  Icon = 'MAINICON'
  OnCreate = FormCreate
  OnDestroy = FormDestroy
  object StatBar: TStatusBar
    Left = 0
    Top = 200
    Width = 411
    Height = 19
    Align = alBottom
    SimplePanel = True
  end
  object PageControl1: TPageControl
    Left = 0
    Top = 8
    Width = 409
    Height = 185
    ActivePage = MainSheet
    TabOrder = 1
    object MainSheet: TTabSheet
      Caption = 'Управление'
      object LoadGroup: TGroupBox
        Left = 8
        Top = 8
        Width = 201
        Height = 145
        Caption = 'Нагрузки'
        TabOrder = 0
        object Label1: TLabel
          Left = 8
          Top = 24
          Width = 71
          Height = 13
          Caption = 'Нагрузка №1:'
        end
        object Label2: TLabel
          Left = 8
          Top = 56
          Width = 71
          Height = 13
          Caption = 'Нагрузка №2:'
        end
        object Label3: TLabel
          Left = 8
          Top = 88
          Width = 71
          Height = 13
          Caption = 'Нагрузка №3:'
        end
        object Label4: TLabel
          Left = 8
          Top = 120
          Width = 71
          Height = 13
          Caption = 'Нагрузка №4:'
        end
        object Load1Btn: TButton
          Left = 104
          Top = 16
          Width = 75
          Height = 25
          Caption = 'OFF'
          TabOrder = 0
          OnClick = Load1BtnClick
        end
        object Load2Btn: TButton
          Left = 104
          Top = 48
          Width = 75
          Height = 25
          Caption = 'OFF'
          TabOrder = 1
          OnClick = Load2BtnClick
        end
      end
      object Load3Btn: TButton
        Left = 112
        Top = 88
        Width = 75
        Height = 25
        Caption = 'OFF'
        TabOrder = 1
        OnClick = Load3BtnClick
      end
      object Load4Btn: TButton
        Left = 112
        Top = 120
        Width = 75
        Height = 25
        Caption = 'OFF'
        TabOrder = 2
        OnClick = Load4BtnClick
      end
      object TempGroup: TGroupBox
        Left = 216
        Top = 8
        Width = 177
        Height = 145
        Caption = 'Термометры'
        TabOrder = 3
        object Label6: TLabel
          Left = 8
          Top = 16
          Width = 81
          Height = 13
          Caption = 'Термометр №1:'
        end
        object Label7: TLabel
          Left = 8
          Top = 40
          Width = 81
          Height = 13
          Caption = 'Термометр №2:'
        end
        object Label8: TLabel
          Left = 8
          Top = 64
          Width = 81
          Height = 13
          Caption = 'Термометр №3:'
        end
        object Label9: TLabel
          Left = 8
          Top = 88
          Width = 81
          Height = 13
          Caption = 'Термометр №4:'
        end
        object Temp1: TEdit
          Left = 96
          Top = 16
          Width = 65
          Height = 21
          Color = clInfoBk
          ReadOnly = True
          TabOrder = 0
          Text = 'Нет данных'
        end
        object Temp2: TEdit
          Left = 96
          Top = 40
          Width = 65
          Height = 21
          Color = clInfoBk
          ReadOnly = True
          TabOrder = 1
          Text = 'Нет данных'
        end
        object Temp3: TEdit
          Left = 96
          Top = 64
          Width = 65
          Height = 21
          Color = clInfoBk
          ReadOnly = True
          TabOrder = 2
          Text = 'Нет данных'
        end
        object Temp4: TEdit
          Left = 96
          Top = 88
          Width = 65
          Height = 21
          Color = clInfoBk
          ReadOnly = True
          TabOrder = 3
          Text = 'Нет данных'
        end
        object SearchBtn: TButton
          Left = 8
          Top = 112
          Width = 153
          Height = 25
          Caption = 'Поиск датчиков'
          TabOrder = 4
          OnClick = SearchBtnClick
        end
      end
    end
    object SheduleSheet: TTabSheet
      Caption = 'Планировщик'
      object Bevel1: TBevel
        Left = 249
        Top = 8
        Width = 7
        Height = 145
        Shape = bsLeftLine
        Style = bsRaised
      end
      object GroupBox1: TGroupBox
        Left = 0
        Top = 0
        Width = 241
        Height = 153
        Caption = 'Установка задачи'
        TabOrder = 0
        object Label14: TLabel
          Left = 200
          Top = 32
          Width = 30
          Height = 13
          Caption = 'минут'
        end
        object Label13: TLabel
          Left = 132
          Top = 32
          Width = 29
          Height = 13
          Caption = 'часов'
        end
        object Label12: TLabel
          Left = 8
          Top = 32
          Width = 83
          Height = 13
          Caption = 'Активировать в:'
        end
        object ActiveCheck: TCheckBox
          Left = 8
          Top = 56
          Width = 145
          Height = 17
          Caption = 'Планировщик включен'
          TabOrder = 0
          OnClick = ActiveCheckClick
        end
        object SchedMinBox: TEdit
          Left = 168
          Top = 24
          Width = 25
          Height = 21
          Color = clMoneyGreen
          TabOrder = 1
        end
        object SchedHourBox: TEdit
          Left = 100
          Top = 24
          Width = 25
          Height = 21
          Color = clMoneyGreen
          TabOrder = 2
        end
        object Load1Check: TCheckBox
          Left = 8
          Top = 88
          Width = 97
          Height = 17
          Caption = 'Нагрузка 1'
          TabOrder = 3
        end
        object Load2Check: TCheckBox
          Left = 8
          Top = 112
          Width = 97
          Height = 17
          Caption = 'Нагрузка 2'
          TabOrder = 4
        end
        object Load3Check: TCheckBox
          Left = 112
          Top = 88
          Width = 97
          Height = 17
          Caption = 'Нагрузка 3'
          TabOrder = 5
        end
        object Load4Check: TCheckBox
          Left = 112
          Top = 112
          Width = 97
          Height = 17
          Caption = 'Нагрузка 4'
          TabOrder = 6
        end
      end
      object Memo1: TMemo
        Left = 256
        Top = 8
        Width = 137
        Height = 145
        BorderStyle = bsNone
        Color = clBtnFace
        Lines = (
          'Вы можете назначить '
          'время переключения '
          'одной, или нескольких '
          'нагрузок. Для этого '
          'введите нужное время, '
          'выберите нужные '
          'нагрузки и активируйте '
          'планировщик.')
        ReadOnly = True
        TabOrder = 1
      end
    end
    object HistorySheet: TTabSheet
      Caption = 'История'
      object HistoryBox: TPaintBox
        Left = 4
        Top = 3
        Width = 389
        Height = 125
        OnPaint = HistoryBoxPaint
      end
      object HourBtn: TButton
        Left = 4
        Top = 131
        Width = 75
        Height = 22
        Caption = '1 час'
        Enabled = False
        TabOrder = 0
        OnClick = HistorySpanClick
      end
      object DayBtn: TButton
        Left = 84
        Top = 131
        Width = 75
        Height = 22
        Caption = '24 часа'
        TabOrder = 1
        OnClick = HistorySpanClick
      end
      object WeekBtn: TButton
        Left = 164
        Top = 131
        Width = 75
        Height = 22
        Caption = '7 дней'
        TabOrder = 2
        OnClick = HistorySpanClick
      end
    end
  end
  object IOPort: TCommPort
    ComNumber = 3
    InSize = 2048
    OutSize = 4096
    Baud = 19200
    BaudRate = cbr19200
    DataBits = 8
    MonitorEvents = [evRxChar, evTxEmpty, evCTS, evDSR, evRlsd, evBreak, evError, evRing]
    XoffLim = 1024
    XonChar = 17
    XoffChar = 19
  end
  object TempTimer: TTimer
    Interval = 10000
    OnTimer = TempTimerTimer
  end
  object Tray: TTrayIcon
    Visible = True
    Hide = True
    RestoreOn = imDoubleClick
    PopupMenuOn = imNone
    Icons = ImageList1
  end
  object ImageList1: TImageList
    Pictures = (
      'TRAYICON')
  end
  object SchedTimer: TTimer
    Enabled = False
    Interval = 500
    OnTimer = SchedTimerTimer
  end
end
